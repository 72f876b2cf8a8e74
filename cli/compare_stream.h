// Splits text into the JSON documents it holds, one after another, as a
// terminal or a log collector shows them: each line may carry a prefix,
// "[pod/name/container] " as `kubectl logs --prefix` prints, or "host | " as
// Ansible does. Lines of each prefix form their own documents, so output of
// several sources interleaved line by line still comes apart.
#pragma once

#include <string>
#include <vector>

struct StreamDocument {
    std::string prefix;  // without its trailing space
    std::string text;
    bool truncated = false;  // the input ended inside it
};

// In the order the documents started. Text outside a document is skipped.
std::vector<StreamDocument> SplitDocuments(const std::string& stream);
