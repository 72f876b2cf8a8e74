// Reading the kernel's sysfs tree: attributes, the links under dev/block,
// and the steps between a partition, its disk and the devices beneath.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sysfs {

namespace fs = std::filesystem;

// An attribute without its line end; empty when it is absent.
std::string ReadAttribute(const fs::path& path);

// sysfsRoot/dev/block/major:minor, the link to the device's folder.
fs::path DeviceLink(const std::string& sysfsRoot, unsigned major, unsigned minor);

// Where a link finally leads; false when it leads nowhere.
bool Resolve(const fs::path& link, fs::path& target);

// A partition is replaced by the device it is part of; false when that fails.
bool StepUpFromPartition(fs::path& device);

// The entries of a folder, sorted by name; none when it cannot be listed.
std::vector<fs::path> Entries(const fs::path& folder);

bool StartsWith(const std::string& text, const std::string& head);

// "major:minor" into its numbers; false for anything else.
bool ParseDeviceNumber(const std::string& text, unsigned& major, unsigned& minor);

}  // namespace sysfs
