#include "cli/cli_json.h"

#include "cli/cli_text.h"
#include "drive/drive_info.h"
#include "engine/threaded_pass.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <nlohmann/json.hpp>

namespace {

// Field order as documented, for people who read the document.
using Json = nlohmann::ordered_json;

Json Text(const std::wstring& text) {
    return Utf8FromWide(text);
}

Json TextOrNull(const std::wstring& text) {
    return text.empty() ? Json(nullptr) : Text(text);
}

Json Latency(const LatencySummary& latency) {
    return {{"mean", latency.mean}, {"p50", latency.p50},   {"p90", latency.p90},
            {"p99", latency.p99},   {"p999", latency.p999}, {"max", latency.max}};
}

// Each thread's seed, the first being the pass's own.
Json ThreadSeeds(uint64_t passSeed, int threads) {
    Json seeds = Json::array();
    for (int thread = 0; thread < threads; ++thread) seeds.push_back(ThreadSeed(passSeed, thread));
    return seeds;
}

Json Passes(const std::vector<PassRecord>& records, const Profile& profile) {
    Json passes = Json::array();
    for (const PassRecord& record : records) {
        const bool counted = record.deviceCounted;
        Json pass = {{"pass", record.pass},
                     {"MBps", record.mbps},
                     {"ms", record.ms},
                     {"deviceBytes", counted ? Json(record.deviceBytes) : Json(nullptr)},
                     {"deviceShare", counted ? Json(record.deviceShare) : Json(nullptr)},
                     {"IOPS", PassIops(record)},
                     {"latencyUs", Latency(record.latency)}};
        if (profile.shape.random) {
            pass["seed"] = record.seed;
            pass["seeds"] = ThreadSeeds(record.seed, profile.threads);
        }
        passes.push_back(std::move(pass));
    }
    return passes;
}

const char* OutcomeName(const RunResult& result) {
    if (result.stopped) return "stopped";
    return result.errorText.empty() ? "completed" : "error";
}

Json Warnings(const std::vector<std::wstring>& warnings) {
    Json list = Json::array();
    for (const std::wstring& warning : warnings) list.push_back(Text(warning));
    return list;
}

const char* EndingName(SustainedEnding ending) {
    switch (ending) {
        case SustainedEnding::Written: return "written";
        case SustainedEnding::DropHeld: return "dropHeld";
        case SustainedEnding::Stopped: return "stopped";
        case SustainedEnding::DiskFull: return "diskFull";
        case SustainedEnding::Failed: break;
    }
    return "error";
}

double GiB(int64_t bytes) {
    return static_cast<double>(bytes) / static_cast<double>(BytesPerGiB);
}

Json Sustained(const RunSummary& summary) {
    const SustainedTrace& sustained = summary.trace;
    Json trace = Json::array();
    for (const TracePoint& point : sustained.trace) {
        const Json device = point.deviceBytes < 0 ? Json(nullptr) : Json(point.deviceBytes);
        trace.push_back(Json::array({point.seconds, point.bytes, point.mbps, device}));
    }
    Json plateaus = Json::array();
    for (const Plateau& plateau : sustained.findings.plateaus) {
        plateaus.push_back({{"fromGiB", GiB(plateau.fromBytes)},
                            {"toGiB", GiB(plateau.toBytes)},
                            {"MBps", plateau.medianMBps}});
    }
    const TraceFindings& findings = sustained.findings;
    return {{"size", sustained.limitBytes},
            {"trace", trace},
            {"plateaus", plateaus},
            {"cacheGiB", findings.dropFound ? Json(GiB(findings.cacheBytes)) : Json(nullptr)},
            {"lowest5sMBps", findings.lowest5sMBps},
            {"conclusion", Text(sustained.conclusion)},
            {"outcome", EndingName(summary.ending)}};
}

Json RunJson(const RunSummary& summary) {
    Json document = {
        {"program", "corvasta-cli"},
        {"version", CORVASTA_VERSION},
        {"host", Text(summary.origin.host)},
        {"label", Text(summary.origin.label)},
        {"startedAt", Text(summary.origin.startedAt)},
        {"system", Text(summary.origin.system)},
        {"folder", Text(summary.folder)},
        {"profile", Text(summary.profile->name)},
        {"threads", summary.profile->threads},
        {"queueDepth", summary.profile->shape.depth},
        {"passes", summary.passCount},
        {"testSizeMiB", summary.testSizeMiB},
        {"drive", {{"manufacturer", Text(DriveInfo.manufacturer)},
                   {"model", Text(DriveInfo.model)},
                   {"capacity", Text(DriveInfo.capacityText)}}},
        {"storage", {{"fileSystem", Text(summary.storage.fileSystem)},
                     {"device", TextOrNull(summary.storage.device)},
                     {"backend", Text(IoBackendName())}}},
        {"read", Passes(summary.read, *summary.profile)},
        {"write", Passes(summary.write, *summary.profile)},
        {"bestReadMBps", summary.result.bestReadMBps},
        {"bestWriteMBps", summary.result.bestWriteMBps},
        {"writeDepth", summary.result.writeDepth > 0 ? Json(summary.result.writeDepth) : Json(nullptr)},
        {"outcome", OutcomeName(summary.result)},
        {"error", Text(summary.result.errorText)},
        {"report", TextOrNull(summary.reportPath)},
        {"warnings", Warnings(summary.warnings)},
    };
    if (summary.sustained) document["sustained"] = Sustained(summary);
    return document;
}

std::string Dump(const Json& document) {
    // Replacing what is not UTF-8 keeps the dump from failing on a bad name.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string JsonDocument(const RunSummary& summary) {
    return Dump(RunJson(summary));
}

std::string RunsDocument(const std::vector<RunSummary>& runs) {
    Json list = Json::array();
    for (const RunSummary& run : runs) list.push_back(RunJson(run));
    const std::wstring folder = runs.empty() ? std::wstring() : runs.front().folder;
    return Dump({{"program", "corvasta-cli"},
                 {"version", CORVASTA_VERSION},
                 {"folder", Text(folder)},
                 {"runs", std::move(list)}});
}
