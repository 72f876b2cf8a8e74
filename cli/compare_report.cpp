#include "cli/compare_report.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Unescape(const std::string& text) {
    static const std::pair<const char*, char> Entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const auto entity = std::find_if(std::begin(Entities), std::end(Entities), [&](const auto& e) {
            return text.compare(at, std::char_traits<char>::length(e.first), e.first) == 0;
        });
        if (entity == std::end(Entities)) {
            out += text[at++];
            continue;
        }
        out += entity->second;
        at += std::char_traits<char>::length(entity->first);
    }
    return out;
}

// The text of a piece of HTML without its tags, trimmed.
std::string PlainText(const std::string& html) {
    std::string text;
    bool inTag = false;
    for (const char c : html) {
        if (c == '<') inTag = true;
        else if (c == '>') inTag = false;
        else if (!inTag) text += c;
    }
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return Unescape(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

struct ReportRow {
    std::string section;  // the heading above it: "READ TEST", "RESULT", ...
    std::vector<std::string> cells;
};

std::vector<std::string> Cells(const std::string& row, const std::string& lowerRow) {
    std::vector<std::string> cells;
    size_t at = 0;
    while (true) {
        const size_t td = lowerRow.find("<td", at), th = lowerRow.find("<th", at);
        const size_t open = std::min(td, th);
        if (open == std::string::npos) return cells;
        const size_t start = lowerRow.find('>', open);
        if (start == std::string::npos) return cells;
        size_t end = std::min(lowerRow.find("</t", start), lowerRow.find("<t", start + 1));
        if (end == std::string::npos) end = row.size();
        cells.push_back(PlainText(row.substr(start + 1, end - start - 1)));
        at = end;
    }
}

// Every table row in order, under the last heading before it.
std::vector<ReportRow> Rows(const std::string& html) {
    const std::string lower = Lower(html);
    std::vector<ReportRow> rows;
    std::string section;
    size_t at = 0;
    while (true) {
        const size_t heading = std::min(lower.find("<h2", at), lower.find("<h3", at));
        const size_t row = lower.find("<tr", at);
        if (heading == std::string::npos && row == std::string::npos) return rows;
        const bool isHeading = heading < row;
        const size_t start = isHeading ? heading : row;
        // A row of the outer layout table holds headings and tables of its
        // own: it ends where anything else starts.
        size_t end = lower.find(isHeading ? "</h" : "</tr", start);
        for (const char* next : {"<tr", "<h2", "<h3"}) end = std::min(end, lower.find(next, start + 1));
        if (end == std::string::npos) end = lower.size();
        const std::string piece = html.substr(start, end - start);
        if (isHeading) section = PlainText(piece.substr(std::min(piece.find('>'), piece.size())));
        else rows.push_back({section, Cells(piece, lower.substr(start, end - start))});
        at = std::max(end, start + 1);
    }
}

double LeadingNumber(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Request size from a profile's name: "SEQ1M Q8T1" 1 MiB, "RND4K Q32T1" 4 KiB.
double RequestBytes(const std::string& profile) {
    const size_t digits = profile.find_first_of("0123456789");
    if (digits == std::string::npos) return 0.0;
    char* unit = nullptr;
    const double size = std::strtod(profile.c_str() + digits, &unit);
    if (*unit == 'K') return size * 1024.0;
    if (*unit == 'M') return size * 1024.0 * 1024.0;
    return 0.0;
}

PhaseFigures Phase(double mbps, const std::string& profile) {
    const double request = RequestBytes(profile);
    return {true, mbps, request > 0.0 ? mbps * 1e6 / request : 0.0};
}

std::string IsoDate(const std::string& date, const std::string& time) {
    // "07/12/2026" and "15:30:45"
    if (date.size() != 10 || date[2] != '/' || date[5] != '/') return {};
    return date.substr(6, 4) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2) +
           (time.empty() ? "" : " " + time);
}

void TakeResultRow(const ReportRow& row, ProfileFigures& figures) {
    if (row.cells.size() < 2) return;
    const std::string& name = row.cells[0];
    if (name.size() > 5 && name.compare(name.size() - 5, 5, " READ") == 0)
        figures.read = Phase(LeadingNumber(row.cells[1]), figures.profile);
    if (name.size() > 6 && name.compare(name.size() - 6, 6, " WRITE") == 0)
        figures.write = Phase(LeadingNumber(row.cells[1]), figures.profile);
}

void TakePlateauRow(const ReportRow& row, ProfileFigures& figures, size_t& plateaus) {
    if (row.cells.size() < 4 || row.cells[0] == "#") return;
    const double from = LeadingNumber(row.cells[1]), to = LeadingNumber(row.cells[2]);
    const double mbps = LeadingNumber(row.cells[3]);
    SustainedFigures& written = figures.written;
    written.plateauMBps.push_back(mbps);
    written.curve.push_back({from, mbps});
    written.curve.push_back({to, mbps});
    // The cache ends where the first plateau that a slower one followed ends.
    if (++plateaus >= 2 && !written.haveCache && mbps < written.plateauMBps[plateaus - 2]) {
        written.haveCache = true;
        written.cacheGiB = from;
    }
}

}  // namespace

bool LooksLikeHtml(const std::string& text) {
    const std::string start = Lower(text.substr(0, 512));
    return start.find("<!doctype html") != std::string::npos || start.find("<html") != std::string::npos;
}

InputRuns RunFromReport(const std::string& html) {
    InputRuns result;
    const std::string lower = Lower(html);
    const size_t title = lower.find("<title>");
    if (title == std::string::npos || lower.compare(title + 7, 9, "corvasta ") != 0) {
        result.errors.push_back("a report of another program, not of Corvasta");
        return result;
    }
    if (lower.find("<h2>comparison</h2>") != std::string::npos) {
        result.errors.push_back("a comparison, not a run");
        return result;
    }
    std::map<std::string, std::string> details;
    ProfileFigures figures;
    size_t plateaus = 0;
    bool haveResult = false;
    for (const ReportRow& row : Rows(html)) {
        if (row.section == "RESULT") {
            haveResult = true;
            TakeResultRow(row, figures);
        } else if (row.section == "PLATEAUS") {
            TakePlateauRow(row, figures, plateaus);
        } else if (row.cells.size() == 2 && details.count(row.cells[0]) == 0) {
            details[row.cells[0]] = row.cells[1];
            if (row.cells[0] == "BENCHMARK TYPE") figures.profile = row.cells[1];
        }
    }
    figures.sustained = lower.find("<h2>sustained write</h2>") != std::string::npos;
    if (figures.sustained) figures.profile = SustainedGroup;
    const bool measured = figures.sustained ? plateaus > 0 : figures.read.present || figures.write.present;
    if (!haveResult || figures.profile.empty() || !measured) {
        result.errors.push_back("a Corvasta report without a result: its run did not complete");
        return result;
    }
    ComparedRun run;
    run.drive = details["MODEL"];
    run.date = IsoDate(details["DATE"], details["TIME"]);
    run.sortKey = run.date;
    run.profiles.push_back(std::move(figures));
    result.runs.push_back(std::move(run));
    return result;
}
