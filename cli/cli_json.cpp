#include "cli/cli_json.h"

#include "drive/drive_info.h"
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

Json Passes(const std::vector<PassRecord>& records) {
    Json passes = Json::array();
    for (const PassRecord& record : records) {
        const bool counted = record.deviceCounted;
        passes.push_back({{"pass", record.pass},
                          {"MBps", record.mbps},
                          {"ms", record.ms},
                          {"deviceBytes", counted ? Json(record.deviceBytes) : Json(nullptr)},
                          {"deviceShare", counted ? Json(record.deviceShare) : Json(nullptr)}});
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

}  // namespace

std::string JsonDocument(const RunSummary& summary) {
    const Json document = {
        {"program", "corvasta-cli"},
        {"version", CORVASTA_VERSION},
        {"folder", Text(summary.folder)},
        {"profile", "SEQ1M Q8T1"},
        {"passes", summary.passCount},
        {"testSizeMiB", summary.testSizeMiB},
        {"drive", {{"manufacturer", Text(DriveInfo.manufacturer)},
                   {"model", Text(DriveInfo.model)},
                   {"capacity", Text(DriveInfo.capacityText)}}},
        {"storage", {{"fileSystem", Text(summary.storage.fileSystem)},
                     {"device", TextOrNull(summary.storage.device)},
                     {"backend", Text(IoBackendName())}}},
        {"read", Passes(summary.read)},
        {"write", Passes(summary.write)},
        {"bestReadMBps", summary.result.bestReadMBps},
        {"bestWriteMBps", summary.result.bestWriteMBps},
        {"outcome", OutcomeName(summary.result)},
        {"error", Text(summary.result.errorText)},
        {"report", TextOrNull(summary.reportPath)},
        {"warnings", Warnings(summary.warnings)},
    };
    // Replacing what is not UTF-8 keeps the dump from failing on a bad name.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
