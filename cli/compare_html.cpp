#include "cli/compare_html.h"

#include "platform/text.h"
#include "report/report.h"

#include <algorithm>

namespace {

constexpr double ChartWide = 600.0;
constexpr double BarLeft = 8.0;
constexpr double BarMost = 580.0;  // the fastest bar
// Each figure's text has a line of its own above its bar, so that a phone,
// which shrinks the chart and enlarges its text, still shows it whole.
constexpr double RunHeight = 124.0;
constexpr double PlotLeft = 60.0, PlotTop = 16.0, PlotWide = 520.0, PlotHigh = 240.0;
constexpr const char* Palette[] = {"#1f5fbf", "#d9730d", "#2a9d48", "#b8323c", "#7a4cc2", "#5b6b7a", "#c2a30f"};

constexpr const char* PageStart =
    "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n"
    "<link rel=\"icon\" href=\"data:,\">\r\n<style>\r\n"
    "body{font-family:sans-serif;max-width:1100px;margin:0 auto;padding:8px;color:#111}\r\n"
    "h1,h2,h3{text-align:center}\r\n"
    ".wide{overflow-x:auto}\r\n"
    "table{border-collapse:collapse;margin:8px auto;font-size:13px}\r\n"
    "th,td{border:1px solid #888;padding:2px 4px;text-align:right;white-space:nowrap}\r\n"
    "td.t{text-align:left}\r\nth{background:#eee}\r\n"
    "svg{display:block;width:100%;max-width:720px;height:auto;margin:0 auto}\r\n"
    "@media (max-width:500px){svg text{font-size:18px}}\r\n"
    "@media print{body{max-width:none}.wide{overflow:visible}svg,table{break-inside:avoid}}\r\n"
    "</style>\r\n";

std::string Escape(const std::string& text) {
    return Utf8FromWide(EscapeHtml(WideFromUtf8(text)));
}

std::string N(double value) {
    return FixedText(value, 1);
}

void Table(std::string& page, const Comparison& comparison, const std::string& profile) {
    const auto rows = ComparisonRows(comparison, profile);
    page += "<div class=\"wide\"><table>\r\n<tr>";
    for (const std::string& heading : rows.front()) page += "<th>" + Escape(heading) + "</th>";
    page += "</tr>\r\n";
    for (size_t r = 1; r < rows.size(); ++r) {
        page += "<tr>";
        for (size_t c = 0; c < rows[r].size(); ++c)
            page += std::string(c >= 1 && c <= 4 ? "<td class=\"t\">" : "<td>") + Escape(rows[r][c]) + "</td>";
        page += "</tr>\r\n";
    }
    page += "</table></div>\r\n";
}

std::string Label(const ComparedRun& run, size_t index) {
    std::string text = std::to_string(index + 1) + " " + run.label;
    for (const std::string* part : {&run.host, &run.drive, &run.date})
        if (!part->empty() && *part != run.label) text += " \xC2\xB7 " + *part;
    return Escape(text);
}

std::string Rect(double x, double y, double w, double h, const char* colour, const std::string& data) {
    return "<rect x=\"" + N(x) + "\" y=\"" + N(y) + "\" width=\"" + FixedText(w, 2) + "\" height=\"" + N(h) +
           "\" fill=\"" + colour + "\" " + data + "/>\r\n";
}

std::string Text(double x, double y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\" font-size=\"12\"" + extra + ">" + text + "</text>\r\n";
}

struct BarScale {
    double mbps = 0.0;
    double p99 = 0.0;
};

// One phase: its figures, its speed bar, and below that a thin bar of its
// p99 on the chart's own latency scale.
void PhaseBars(std::string& svg, const PhaseFigures& phase, const BarScale& scale, double y, bool write) {
    const char* name = write ? "write" : "read";
    if (!phase.present) {
        svg += Text(BarLeft, y, std::string(name) + " \xE2\x80\x94");
        return;
    }
    std::string figures = std::string(name) + " " + FixedText(phase.mbps, 2) + " MB/s";
    if (phase.haveLatency) figures += ", p99 " + FixedText(phase.p99Us, 1) + " us";
    svg += Text(BarLeft, y, figures);
    const double wide = scale.mbps > 0.0 ? BarMost * phase.mbps / scale.mbps : 0.0;
    svg += Rect(BarLeft, y + 6, wide, 14, write ? WriteBarColour : ReadBarColour,
                "class=\"bar " + std::string(name) + "\" data-mbps=\"" + FixedText(phase.mbps, 2) + "\"");
    if (!phase.haveLatency) return;
    const double p99Wide = scale.p99 > 0.0 ? BarMost * phase.p99Us / scale.p99 : 0.0;
    svg += Rect(BarLeft, y + 22, p99Wide, 4, LatencyBarColour,
                "class=\"p99\" data-us=\"" + FixedText(phase.p99Us, 1) + "\"");
}

void BarChart(std::string& page, const Comparison& comparison, const std::string& profile) {
    BarScale scale;
    for (const ComparedRun& run : comparison.runs) {
        if (const ProfileFigures* f = FiguresOf(run, profile)) {
            scale.mbps = std::max({scale.mbps, f->read.mbps, f->write.mbps});
            if (f->read.haveLatency) scale.p99 = std::max(scale.p99, f->read.p99Us);
            if (f->write.haveLatency) scale.p99 = std::max(scale.p99, f->write.p99Us);
        }
    }
    const double high = 30.0 + RunHeight * static_cast<double>(comparison.runs.size());
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + N(ChartWide) + " " + N(high) +
                      "\" role=\"img\">\r\n";
    svg += Rect(BarLeft, 6, 10, 10, ReadBarColour, "") + Text(BarLeft + 14, 15, "read MB/s");
    svg += Rect(BarLeft + 150, 6, 10, 10, WriteBarColour, "") + Text(BarLeft + 164, 15, "write MB/s");
    svg += Rect(BarLeft + 300, 9, 10, 4, LatencyBarColour, "") + Text(BarLeft + 314, 15, "p99 latency (own scale)");
    for (size_t i = 0; i < comparison.runs.size(); ++i) {
        const double y = 30.0 + RunHeight * static_cast<double>(i);
        svg += Text(BarLeft, y + 16, Label(comparison.runs[i], i), " font-weight=\"bold\"");
        const ProfileFigures* f = FiguresOf(comparison.runs[i], profile);
        if (!f) {
            svg += Text(BarLeft, y + 38, "\xE2\x80\x94 no run of this profile");
            continue;
        }
        PhaseBars(svg, f->read, scale, y + 38, false);
        PhaseBars(svg, f->write, scale, y + 86, true);
    }
    page += svg + "</svg>\r\n";
}

void TraceChart(std::string& page, const Comparison& comparison) {
    double most = 0.0, fastest = 0.0;
    for (const ComparedRun& run : comparison.runs) {
        if (const ProfileFigures* f = FiguresOf(run, SustainedGroup)) {
            for (const auto& [gib, mbps] : f->written.curve) {
                most = std::max(most, gib);
                fastest = std::max(fastest, mbps);
            }
        }
    }
    if (most <= 0.0 || fastest <= 0.0) return;
    fastest *= 1.05;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 600 " +
                      N(PlotTop + PlotHigh + 40.0 + 16.0 * static_cast<double>(comparison.runs.size())) +
                      "\" role=\"img\">\r\n";
    svg += Rect(PlotLeft, PlotTop, PlotWide, PlotHigh, "#f3f6fa", "");
    svg += Text(4, PlotTop + 10, N(fastest) + " MB/s") + Text(4, PlotTop + PlotHigh, "0");
    svg += Text(PlotLeft + PlotWide - 90, PlotTop + PlotHigh + 16, N(most) + " GiB written");
    for (size_t i = 0; i < comparison.runs.size(); ++i) {
        const ProfileFigures* f = FiguresOf(comparison.runs[i], SustainedGroup);
        if (!f) continue;
        const char* colour = Palette[i % std::size(Palette)];
        std::string points;
        for (const auto& [gib, mbps] : f->written.curve)
            points += N(PlotLeft + PlotWide * gib / most) + "," + N(PlotTop + PlotHigh * (1.0 - mbps / fastest)) + " ";
        svg += "<polyline fill=\"none\" stroke-width=\"1.5\" stroke=\"" + std::string(colour) + "\" points=\"" +
               points + "\"/>\r\n";
        const double y = PlotTop + PlotHigh + 30.0 + 16.0 * static_cast<double>(i);
        svg += Rect(PlotLeft, y - 9, 14, 4, colour, "") + Text(PlotLeft + 20, y, Label(comparison.runs[i], i));
    }
    page += svg + "</svg>\r\n";
}

}  // namespace

std::string ComparisonHtml(const Comparison& comparison) {
    std::string page = PageStart;
    page += "<title>" + Utf8FromWide(ProgramTitle) + " comparison</title>\r\n</head>\r\n<body>\r\n";
    page += "<h1>" + Utf8FromWide(ProgramTitle) + "</h1>\r\n<h2>Comparison</h2>\r\n";
    page += "<p>Changes are against run " + std::to_string(comparison.baseline + 1) + ", " +
            Escape(comparison.runs[comparison.baseline].label) + ".</p>\r\n";
    for (const std::string& profile : comparison.profiles) {
        const bool sustained = profile == SustainedGroup;
        page += "<h3>" + Escape(sustained ? "Sustained write" : profile) + "</h3>\r\n";
        Table(page, comparison, profile);
        if (sustained) TraceChart(page, comparison);
        else BarChart(page, comparison, profile);
    }
    return page + "</body>\r\n</html>\r\n";
}
