#include "cli/compare_json.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

Json RunJson(const ComparedRun& run, size_t index) {
    return {{"run", index + 1}, {"input", run.input}, {"label", run.label},
            {"host", run.host}, {"drive", run.drive},  {"date", run.date}};
}

Json RowJson(const Comparison& comparison, const std::string& profile, size_t index) {
    const ComparedRun& run = comparison.runs[index];
    const ProfileFigures* figures = FiguresOf(run, profile);
    Json row = {{"run", index + 1}};
    if (!figures) {
        row["missing"] = true;
        return row;
    }
    for (const Figure& figure : FiguresFor(profile)) {
        if (figure.text) {
            row[figure.key] = figures->written.plateauMBps;
            continue;
        }
        const std::optional<double> value = figure.value(*figures);
        row[figure.key] = value ? Json(*value) : Json(nullptr);
        if (!figure.compared) continue;
        const std::optional<double> change = ChangePercent(comparison, profile, run, figure);
        row[std::string(figure.key) + "ChangePercent"] = change ? Json(*change) : Json(nullptr);
    }
    return row;
}

}  // namespace

std::string ComparisonJson(const Comparison& comparison, const std::vector<std::string>& problems) {
    Json runs = Json::array();
    for (size_t i = 0; i < comparison.runs.size(); ++i) runs.push_back(RunJson(comparison.runs[i], i));
    Json profiles = Json::array();
    for (const std::string& profile : comparison.profiles) {
        Json rows = Json::array();
        for (size_t i = 0; i < comparison.runs.size(); ++i) rows.push_back(RowJson(comparison, profile, i));
        profiles.push_back({{"profile", profile}, {"rows", std::move(rows)}});
    }
    const Json document = {{"program", "corvasta-cli"},
                           {"version", CORVASTA_VERSION},
                           {"comparison", true},
                           {"baseline", comparison.baseline + 1},
                           {"runs", std::move(runs)},
                           {"profiles", std::move(profiles)},
                           {"problems", problems}};
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
