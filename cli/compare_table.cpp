#include "cli/compare_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using Value = std::optional<double>;

Value If(bool present, double value) {
    return present ? Value(value) : std::nullopt;
}

Value ReadMBps(const ProfileFigures& f) { return If(f.read.present, f.read.mbps); }
Value ReadIops(const ProfileFigures& f) { return If(f.read.present && f.read.iops > 0.0, f.read.iops); }
Value ReadP50(const ProfileFigures& f) { return If(f.read.haveLatency, f.read.p50Us); }
Value ReadP99(const ProfileFigures& f) { return If(f.read.haveLatency, f.read.p99Us); }
Value WriteMBps(const ProfileFigures& f) { return If(f.write.present, f.write.mbps); }
Value WriteIops(const ProfileFigures& f) { return If(f.write.present && f.write.iops > 0.0, f.write.iops); }
Value WriteP50(const ProfileFigures& f) { return If(f.write.haveLatency, f.write.p50Us); }
Value WriteP99(const ProfileFigures& f) { return If(f.write.haveLatency, f.write.p99Us); }
Value CacheGiB(const ProfileFigures& f) { return If(f.written.haveCache, f.written.cacheGiB); }
// The speed the write settles at once any cache is full.
Value LastPlateau(const ProfileFigures& f) {
    if (f.written.plateauMBps.empty()) return std::nullopt;
    return f.written.plateauMBps.back();
}
Value NoValue(const ProfileFigures&) { return std::nullopt; }

std::string PlateauList(const ProfileFigures& f, int decimals) {
    std::string text;
    for (const double mbps : f.written.plateauMBps) {
        if (!text.empty()) text += " > ";
        text += FixedText(mbps, decimals);
    }
    return text;
}

const std::vector<Figure> PassFigures = {
    {"read MB/s", "readMBps", 2, ReadMBps, true},   {"IOPS", "readIOPS", 0, ReadIops},
    {"p50 us", "readP50Us", 1, ReadP50},            {"p99 us", "readP99Us", 1, ReadP99},
    {"write MB/s", "writeMBps", 2, WriteMBps, true}, {"IOPS", "writeIOPS", 0, WriteIops},
    {"p50 us", "writeP50Us", 1, WriteP50},          {"p99 us", "writeP99Us", 1, WriteP99},
};

const std::vector<Figure> SustainedFigureList = {
    {"cache GiB", "cacheGiB", 2, CacheGiB},
    {"plateaus MB/s", "plateausMBps", 1, NoValue, false, PlateauList},
    {"after cache MB/s", "lastPlateauMBps", 2, LastPlateau, true},
};

// Columns as they are counted on a screen: "—" is three bytes, one column.
size_t Columns(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

constexpr const char* Missing = "\xE2\x80\x94";  // "—"

std::vector<std::string> Cells(const Comparison& comparison, const std::string& profile, size_t index) {
    const ComparedRun& run = comparison.runs[index];
    std::vector<std::string> cells = {std::to_string(index + 1), run.label, run.host, run.drive, run.date};
    const ProfileFigures* figures = FiguresOf(run, profile);
    for (const Figure& figure : FiguresFor(profile)) {
        std::string cell = Missing;
        if (figures && figure.text) cell = figure.text(*figures, figure.decimals);
        const Value value = figures ? figure.value(*figures) : std::nullopt;
        if (value) cell = FixedText(*value, figure.decimals);
        cells.push_back(cell.empty() ? Missing : cell);
        if (!figure.compared) continue;
        const Value change = ChangePercent(comparison, profile, run, figure);
        cells.push_back(index == comparison.baseline && figures ? "baseline" : change ? PercentText(*change) : Missing);
    }
    return cells;
}

std::vector<std::string> Headings(const std::string& profile) {
    std::vector<std::string> headings = {"#", "label", "host", "drive", "date"};
    for (const Figure& figure : FiguresFor(profile)) {
        headings.push_back(figure.heading);
        if (figure.compared) headings.push_back("change");
    }
    return headings;
}

// Text to the left, figures to the right, two spaces apart.
std::vector<std::string> Aligned(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - Columns(row[i]), ' ');
            const bool left = i >= 1 && i <= 4;
            line += (i ? "  " : "") + (left ? row[i] + pad : pad + row[i]);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// One row: every figure of both kinds, those of the other kind empty.
std::string CsvRow(const Comparison& comparison, const std::string& profile, size_t index) {
    const ComparedRun& run = comparison.runs[index];
    const ProfileFigures* figures = FiguresOf(run, profile);
    std::string row = CsvField(profile);
    row.append(",").append(std::to_string(index + 1));
    for (const std::string* text : {&run.label, &run.host, &run.drive, &run.date}) row.append(",").append(CsvField(*text));
    row.append(index == comparison.baseline ? ",yes" : ",no");
    for (const std::vector<Figure>* list : {&PassFigures, &SustainedFigureList}) {
        const bool mine = figures && list == &FiguresFor(profile);
        for (const Figure& figure : *list) {
            const Value value = mine ? figure.value(*figures) : std::nullopt;
            row.append(",");
            if (mine && figure.text) row.append(CsvField(figure.text(*figures, 2)));
            else if (value) row.append(FixedText(*value, 6));
            if (!figure.compared) continue;
            const Value change = mine ? ChangePercent(comparison, profile, run, figure) : std::nullopt;
            row.append(",").append(change ? FixedText(*change, 3) : std::string());
        }
    }
    return row + "\r\n";
}

}  // namespace

Comparison CompareRuns(std::vector<ComparedRun> runs, size_t baseline) {
    Comparison comparison{std::move(runs), baseline, {}};
    for (const ComparedRun& run : comparison.runs) {
        for (const ProfileFigures& figures : run.profiles) {
            const auto& known = comparison.profiles;
            if (std::find(known.begin(), known.end(), figures.profile) == known.end())
                comparison.profiles.push_back(figures.profile);
        }
    }
    return comparison;
}

const ProfileFigures* FiguresOf(const ComparedRun& run, const std::string& profile) {
    const auto found = std::find_if(run.profiles.begin(), run.profiles.end(),
                                    [&](const ProfileFigures& f) { return f.profile == profile; });
    return found == run.profiles.end() ? nullptr : &*found;
}

const std::vector<Figure>& FiguresFor(const std::string& profile) {
    return profile == SustainedGroup ? SustainedFigureList : PassFigures;
}

std::optional<double> ChangePercent(const Comparison& comparison, const std::string& profile,
                                    const ComparedRun& run, const Figure& figure) {
    const ProfileFigures* base = FiguresOf(comparison.runs[comparison.baseline], profile);
    const ProfileFigures* figures = FiguresOf(run, profile);
    if (!base || !figures) return std::nullopt;
    const Value from = figure.value(*base), to = figure.value(*figures);
    if (!from || !to || *from <= 0.0) return std::nullopt;
    return 100.0 * (*to - *from) / *from;
}

std::string FixedText(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string PercentText(double percent) {
    // A change that rounds to zero carries no sign.
    const double shown = std::round(percent * 10.0) / 10.0;
    std::string text = shown > 0.0 ? "+" : "";
    return text.append(FixedText(shown == 0.0 ? 0.0 : shown, 1)).append("%");
}

std::vector<std::vector<std::string>> ComparisonRows(const Comparison& comparison, const std::string& profile) {
    std::vector<std::vector<std::string>> rows = {Headings(profile)};
    for (size_t i = 0; i < comparison.runs.size(); ++i) rows.push_back(Cells(comparison, profile, i));
    return rows;
}

std::vector<std::string> ComparisonTableLines(const Comparison& comparison) {
    std::vector<std::string> lines;
    for (const std::string& profile : comparison.profiles) {
        if (!lines.empty()) lines.push_back("");
        lines.push_back(profile == SustainedGroup ? "Sustained write" : "Profile " + profile);
        for (const std::string& line : Aligned(ComparisonRows(comparison, profile))) lines.push_back(line);
    }
    return lines;
}

std::string ComparisonCsv(const Comparison& comparison) {
    std::string csv = "profile,run,label,host,drive,date,baseline";
    for (const std::vector<Figure>* list : {&PassFigures, &SustainedFigureList}) {
        for (const Figure& figure : *list) {
            csv.append(",").append(figure.key);
            if (figure.compared) csv.append(",").append(figure.key).append("Change");
        }
    }
    csv += "\r\n";
    for (const std::string& profile : comparison.profiles) {
        for (size_t i = 0; i < comparison.runs.size(); ++i) csv += CsvRow(comparison, profile, i);
    }
    return csv;
}
