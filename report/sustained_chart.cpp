#include "report/sustained_chart.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PlotLeft = 64.0;
constexpr double PlotTop = 16.0;
constexpr double PlotWidth = ChartWidth - PlotLeft - 16.0;
constexpr double PlotHeight = ChartHeight - PlotTop - 48.0;
// More points than the plot has pixels only make the file larger.
constexpr size_t MostPoints = 1200;
constexpr int TargetTicks = 5;

struct Scale {
    double xMax;  // GiB at the right edge: all that was written
    double yMax;  // MB/s at the top, a whole number of tick steps
    double xStep;
    double yStep;
};

// 1, 2 or 5 times a power of ten, giving about TargetTicks steps up to top.
double NiceStep(double top) {
    const double raw = top / TargetTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    if (norm <= 1.0) return magnitude;
    if (norm <= 2.0) return 2.0 * magnitude;
    if (norm <= 5.0) return 5.0 * magnitude;
    return 10.0 * magnitude;
}

Scale ChartScale(const std::vector<TracePoint>& trace) {
    double fastest = 0.0;
    for (const TracePoint& point : trace) fastest = std::max(fastest, SampleSpeed(point));
    const int64_t written = trace.empty() ? 0 : trace.back().bytes;
    Scale scale{};
    scale.xMax = written > 0 ? static_cast<double>(written) / BytesPerGiB : 1.0;
    if (!std::isfinite(scale.xMax)) scale.xMax = 1.0;
    const double top = std::isfinite(fastest) && fastest > 0.0 ? fastest * 1.05 : 1.0;
    scale.yStep = NiceStep(top);
    scale.yMax = std::ceil(top / scale.yStep) * scale.yStep;
    scale.xStep = NiceStep(scale.xMax);
    return scale;
}

double X(const Scale& scale, int64_t bytes) {
    const double gib = static_cast<double>(bytes) / BytesPerGiB;
    return PlotLeft + std::clamp(gib / scale.xMax, 0.0, 1.0) * PlotWidth;
}

double Y(const Scale& scale, double mbps) {
    return PlotTop + PlotHeight - std::clamp(mbps / scale.yMax, 0.0, 1.0) * PlotHeight;
}

std::wstring Number(double value) {
    return FormatTwoDecimals(value);
}

std::wstring TickText(double value, double step) {
    return step >= 1.0 ? DecimalText(std::llround(value)) : FormatTwoDecimals(value);
}

std::wstring Line(double x1, double y1, double x2, double y2, const std::wstring& style) {
    return L"<line x1=\"" + Number(x1) + L"\" y1=\"" + Number(y1) + L"\" x2=\"" + Number(x2) +
           L"\" y2=\"" + Number(y2) + L"\" " + style + L"/>";
}

std::wstring Label(double x, double y, const wchar_t* anchor, const std::wstring& text) {
    return L"<text x=\"" + Number(x) + L"\" y=\"" + Number(y) + L"\" text-anchor=\"" + anchor +
           L"\">" + text + L"</text>";
}

void AddGrid(std::vector<std::wstring>& lines, const Scale& scale) {
    const std::wstring grid = L"stroke=\"#d5dbe3\" stroke-width=\"1\"";
    for (int i = 0; i * scale.yStep <= scale.yMax * (1.0 + 1e-9); ++i) {
        const double value = i * scale.yStep;
        const double y = Y(scale, value);
        lines.push_back(Line(PlotLeft, y, PlotLeft + PlotWidth, y, grid));
        lines.push_back(Label(PlotLeft - 6.0, y + 4.0, L"end", TickText(value, scale.yStep)));
    }
    for (int i = 0; i * scale.xStep <= scale.xMax * (1.0 + 1e-9); ++i) {
        const double value = i * scale.xStep;
        const double x = PlotLeft + value / scale.xMax * PlotWidth;
        lines.push_back(Line(x, PlotTop, x, PlotTop + PlotHeight, grid));
        lines.push_back(Label(x, PlotTop + PlotHeight + 16.0, L"middle", TickText(value, scale.xStep)));
    }
    lines.push_back(Label(PlotLeft + PlotWidth / 2.0, ChartHeight - 8.0, L"middle", L"GiB written"));
    lines.push_back(L"<text transform=\"rotate(-90)\" x=\"" + Number(-(PlotTop + PlotHeight / 2.0)) +
                    L"\" y=\"16\" text-anchor=\"middle\">MB/s</text>");
}

// Each plateau's median as a broad band behind the trace, and a dotted line where one gives way to the next.
void AddPlateaus(std::vector<std::wstring>& lines, const Scale& scale, const TraceFindings& findings) {
    const std::wstring colour = std::wstring(L"stroke=\"") + ChartPlateauColour + L"\"";
    for (const Plateau& plateau : findings.plateaus) {
        const double y = Y(scale, plateau.medianMBps);
        lines.push_back(Line(X(scale, plateau.fromBytes), y, X(scale, plateau.toBytes), y,
                             colour + L" stroke-width=\"8\" stroke-opacity=\"0.35\""));
        if (plateau.fromBytes == 0) continue;
        const double x = X(scale, plateau.fromBytes);
        lines.push_back(Line(x, PlotTop, x, PlotTop + PlotHeight,
                             colour + L" stroke-width=\"1\" stroke-dasharray=\"2 3\""));
    }
}

// The trace, from the start, with runs of samples averaged when there are
// more than the plot can show.
std::wstring TracePolyline(const Scale& scale, const std::vector<TracePoint>& trace) {
    const size_t run = (trace.size() + MostPoints - 1) / MostPoints;
    std::wstring points = Number(X(scale, 0)) + L"," + Number(Y(scale, SampleSpeed(trace.front())));
    for (size_t first = 0; first < trace.size(); first += run) {
        const size_t end = std::min(first + run, trace.size());
        double sum = 0.0;
        for (size_t i = first; i < end; ++i) sum += SampleSpeed(trace[i]);
        const double mbps = sum / static_cast<double>(end - first);
        points += L" " + Number(X(scale, trace[end - 1].bytes)) + L"," + Number(Y(scale, mbps));
    }
    return std::wstring(L"<polyline fill=\"none\" stroke=\"") + ChartTraceColour +
           L"\" stroke-width=\"2\" vector-effect=\"non-scaling-stroke\" stroke-linejoin=\"round\" "
           L"points=\"" + points + L"\"/>";
}

}  // namespace

std::vector<std::wstring> SustainedChartSvg(const std::vector<TracePoint>& trace,
                                            const TraceFindings& findings) {
    const Scale scale = ChartScale(trace);
    std::vector<std::wstring> lines = {
        L"<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + DecimalText(ChartWidth) + L" " +
            DecimalText(ChartHeight) + L"\" width=\"" + DecimalText(ChartWidth) + L"\" height=\"" +
            DecimalText(ChartHeight) + L"\" role=\"img\" aria-label=\"MB/s over GiB written\" "
            L"font-family=\"sans-serif\" font-size=\"13\">",
        L"<rect x=\"" + Number(PlotLeft) + L"\" y=\"" + Number(PlotTop) + L"\" width=\"" +
            Number(PlotWidth) + L"\" height=\"" + Number(PlotHeight) + L"\" fill=\"" +
            ChartPlotColour + L"\"/>",
    };
    AddGrid(lines, scale);
    AddPlateaus(lines, scale, findings);
    if (!trace.empty()) lines.push_back(TracePolyline(scale, trace));
    lines.push_back(L"</svg>");
    return lines;
}
