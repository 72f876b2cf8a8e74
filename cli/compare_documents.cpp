#include "cli/compare_documents.h"

#include "cli/compare_stream.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>

namespace {

using Json = nlohmann::json;

// The library aborts on a wrong type in this program (no exceptions), so
// every field is looked at through these.
const Json* Field(const Json& object, const char* name) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

std::string Text(const Json& object, const char* name) {
    const Json* field = Field(object, name);
    return field && field->is_string() ? field->get<std::string>() : std::string();
}

bool Number(const Json& object, const char* name, double& value) {
    const Json* field = Field(object, name);
    if (!field || !field->is_number()) return false;
    value = field->get<double>();
    return true;
}

const Json& Array(const Json& object, const char* name) {
    static const Json empty = Json::array();
    const Json* field = Field(object, name);
    return field && field->is_array() ? *field : empty;
}

// The pass with the best speed gives speed, IOPS and latency alike.
PhaseFigures BestPass(const Json& document, const char* phase, const char* bestField) {
    PhaseFigures figures;
    for (const Json& pass : Array(document, phase)) {
        double mbps = 0.0;
        if (!Number(pass, "MBps", mbps) || (figures.present && mbps <= figures.mbps)) continue;
        figures = PhaseFigures{true, mbps};
        Number(pass, "IOPS", figures.iops);
        const Json* latency = Field(pass, "latencyUs");
        figures.haveLatency = latency && Number(*latency, "p50", figures.p50Us) &&
                              Number(*latency, "p99", figures.p99Us);
    }
    // Without its passes, the best speed alone.
    if (!figures.present && Number(document, bestField, figures.mbps) && figures.mbps > 0.0)
        figures.present = true;
    return figures;
}

void TakeSustained(const Json& sustained, ProfileFigures& figures) {
    figures.sustained = true;
    figures.profile = SustainedGroup;
    SustainedFigures& written = figures.written;
    written.haveCache = Number(sustained, "cacheGiB", written.cacheGiB);
    for (const Json& plateau : Array(sustained, "plateaus")) {
        double mbps = 0.0;
        if (Number(plateau, "MBps", mbps)) written.plateauMBps.push_back(mbps);
    }
    for (const Json& point : Array(sustained, "trace")) {
        if (!point.is_array() || point.size() < 3 || !point[1].is_number() || !point[2].is_number())
            continue;
        written.curve.push_back({point[1].get<double>() / (1024.0 * 1024.0 * 1024.0), point[2].get<double>()});
    }
}

// False when the run gave no figures (a failure, a stop before any pass).
bool TakeProfile(const Json& document, ProfileFigures& figures) {
    if (const Json* sustained = Field(document, "sustained"); sustained && sustained->is_object()) {
        TakeSustained(*sustained, figures);
        return !figures.written.curve.empty() || !figures.written.plateauMBps.empty();
    }
    figures.profile = Text(document, "profile");
    figures.read = BestPass(document, "read", "bestReadMBps");
    figures.write = BestPass(document, "write", "bestWriteMBps");
    return Text(document, "outcome") == "completed" && (figures.read.present || figures.write.present);
}

// "corvasta_10122026160012_..." (day, month, year, time) in a report's name.
std::string DateFromReportName(const std::string& report) {
    const size_t at = report.rfind("corvasta_");
    if (at == std::string::npos || report.size() < at + 23) return {};
    const std::string stamp = report.substr(at + 9, 14);
    if (stamp.find_first_not_of("0123456789") != std::string::npos) return {};
    return stamp.substr(4, 4) + "-" + stamp.substr(2, 2) + "-" + stamp.substr(0, 2) + " " +
           stamp.substr(8, 2) + ":" + stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

void TakeOrigin(const Json& document, ComparedRun& run) {
    run.host = Text(document, "host");
    run.label = Text(document, "label");
    if (const Json* drive = Field(document, "drive")) run.drive = Text(*drive, "model");
    const std::string started = Text(document, "startedAt");
    // "2026-12-10T16:00:12Z" shown as "2026-12-10 16:00:12".
    if (started.size() >= 19 && started[10] == 'T') {
        run.date = started.substr(0, 10) + " " + started.substr(11, 8);
    } else {
        run.date = DateFromReportName(Text(document, "report"));
    }
    run.sortKey = run.date;
}

// Empty when the document is one this program can read.
std::string WhyUnreadable(const Json& document) {
    if (!document.is_object() || Text(document, "program") != "corvasta-cli")
        return "not a Corvasta document";
    if (Field(document, "comparison")) return "a comparison, not a run";
    const std::string version = Text(document, "version");
    const int major = std::atoi(version.c_str());
    if (major > ReadableMajorVersion)
        return "written by corvasta-cli " + version + ", a newer major version than this one reads (" +
               std::to_string(ReadableMajorVersion) + ".x)";
    return {};
}

void TakeRunDocument(const Json& document, ComparedRun& run) {
    ProfileFigures figures;
    const bool measured = TakeProfile(document, figures);
    const bool known = std::any_of(run.profiles.begin(), run.profiles.end(),
                                   [&](const ProfileFigures& p) { return p.profile == figures.profile; });
    if (measured && !figures.profile.empty() && !known) run.profiles.push_back(std::move(figures));
}

}  // namespace

InputRuns RunFromDocument(const std::string& text) {
    InputRuns result;
    const Json document = Json::parse(text, nullptr, false);
    const std::string why = document.is_discarded() ? "not valid JSON" : WhyUnreadable(document);
    if (!why.empty()) {
        result.errors.push_back(why);
        return result;
    }
    ComparedRun run;
    const Json* runs = Field(document, "runs");
    if (runs && runs->is_array()) {
        for (const Json& each : *runs) {
            if (!WhyUnreadable(each).empty()) continue;
            if (run.profiles.empty() && run.host.empty()) TakeOrigin(each, run);
            TakeRunDocument(each, run);
        }
    } else {
        TakeOrigin(document, run);
        TakeRunDocument(document, run);
    }
    result.runs.push_back(std::move(run));
    return result;
}

InputRuns RunsFromStream(const std::string& stream) {
    InputRuns result;
    const std::vector<StreamDocument> documents = SplitDocuments(stream);
    if (documents.empty()) result.errors.push_back("not a Corvasta document: it holds no JSON document");
    size_t n = 0;
    for (const StreamDocument& document : documents) {
        ++n;
        const std::string where = documents.size() > 1 || !document.prefix.empty()
                                      ? "document " + std::to_string(n) +
                                            (document.prefix.empty() ? "" : " of " + document.prefix) + ": "
                                      : std::string();
        InputRuns one = document.truncated ? InputRuns{{}, {"truncated: the input ends inside the document"}}
                                           : RunFromDocument(document.text);
        for (const std::string& error : one.errors) result.errors.push_back(where + error);
        for (ComparedRun& run : one.runs) {
            if (!document.prefix.empty()) run.input = document.prefix;
            result.runs.push_back(std::move(run));
        }
    }
    return result;
}
