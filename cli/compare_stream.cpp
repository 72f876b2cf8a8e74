#include "cli/compare_stream.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace {

// One prefix's document being gathered.
struct Gathering {
    std::string text;
    size_t order = 0;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// "[pod/x/c] " or "host | " at the start of a line; its length, or 0. JSON's
// own lines start with a space, a bracket, a brace, a quote or a value, so
// neither form is mistaken for a document's line.
size_t PrefixLength(std::string_view line) {
    if (!line.empty() && line[0] == '[') {
        const size_t close = line.find("] ");
        if (close != std::string_view::npos && line.substr(1, close - 1).find(' ') == std::string_view::npos)
            return close + 2;
        return 0;
    }
    const size_t bar = line.find(" | ");
    if (bar == 0 || bar == std::string_view::npos) return 0;
    const std::string_view host = line.substr(0, bar);
    const bool plain = std::none_of(host.begin(), host.end(), [](char c) {
        return IsSpace(c) || c == '{' || c == '}' || c == '"' || c == '[' || c == ']' || c == ',';
    });
    return plain ? bar + 3 : 0;
}

struct Splitter {
    std::map<std::string, Gathering> open;
    std::vector<std::pair<size_t, StreamDocument>> done;
    size_t started = 0;

    void Finish(const std::string& prefix, bool truncated) {
        Gathering& gathering = open[prefix];
        done.push_back({gathering.order, {prefix, std::move(gathering.text), truncated}});
        open.erase(prefix);
    }

    // Feeds one character of a document; true once it has closed.
    static bool Feed(Gathering& g, char c) {
        g.text += c;
        if (g.inString) {
            if (g.escaped) g.escaped = false;
            else if (c == '\\') g.escaped = true;
            else if (c == '"') g.inString = false;
            return false;
        }
        if (c == '"') g.inString = true;
        if (c == '{' || c == '[') ++g.depth;
        if (c == '}' || c == ']') --g.depth;
        return g.depth <= 0;
    }

    void TakeLine(std::string_view line) {
        const size_t prefixLength = PrefixLength(line);
        const std::string prefix(line.substr(0, prefixLength ? prefixLength - 1 : 0));
        std::string_view rest = line.substr(prefixLength);
        while (!rest.empty()) {
            auto found = open.find(prefix);
            if (found == open.end()) {
                const size_t first = rest.find_first_not_of(" \t\r");
                // Only a line that starts a document starts one; the rest is talk.
                if (first == std::string_view::npos || rest[first] != '{') return;
                rest.remove_prefix(first);
                found = open.emplace(prefix, Gathering{{}, started++}).first;
            }
            size_t used = 0;
            bool closed = false;
            while (used < rest.size() && !closed) closed = Feed(found->second, rest[used++]);
            rest.remove_prefix(used);
            if (!closed) {
                found->second.text += '\n';
                return;
            }
            Finish(prefix, false);
        }
    }
};

}  // namespace

std::vector<StreamDocument> SplitDocuments(const std::string& stream) {
    Splitter splitter;
    size_t at = 0;
    while (at < stream.size()) {
        size_t end = stream.find('\n', at);
        if (end == std::string::npos) end = stream.size();
        splitter.TakeLine(std::string_view(stream).substr(at, end - at));
        at = end + 1;
    }
    while (!splitter.open.empty()) splitter.Finish(splitter.open.begin()->first, true);
    std::sort(splitter.done.begin(), splitter.done.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StreamDocument> documents;
    for (auto& entry : splitter.done) documents.push_back(std::move(entry.second));
    return documents;
}
