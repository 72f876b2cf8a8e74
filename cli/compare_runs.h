// What `corvasta-cli compare` knows of each run it was given, whatever the
// input it came from: a console JSON document, a report, a stream.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The group a sustained write's figures fall in, beside the profiles.
inline constexpr const char* SustainedGroup = "SUSTAINED";

struct PhaseFigures {
    bool present = false;
    double mbps = 0.0;
    double iops = 0.0;      // 0 when unknown
    bool haveLatency = false;
    double p50Us = 0.0;     // of the best pass
    double p99Us = 0.0;
};

struct SustainedFigures {
    bool haveCache = false;
    double cacheGiB = 0.0;
    std::vector<double> plateauMBps;
    std::vector<std::pair<double, double>> curve;  // GiB written, MB/s
};

struct ProfileFigures {
    std::string profile;  // as the document names it, or SustainedGroup
    PhaseFigures read;
    PhaseFigures write;
    bool sustained = false;
    SustainedFigures written;
};

// Texts are UTF-8.
struct ComparedRun {
    std::string input;  // where it was read: a path, "-", or "-" with a line prefix
    std::string label;
    std::string host;
    std::string drive;
    std::string date;     // "2026-12-10 16:00:12", empty when unknown
    std::string sortKey;  // orders a folder's runs oldest first
    std::vector<ProfileFigures> profiles;
};

// The runs one input gave, and why any part of it gave none: an input of
// several documents keeps the good ones.
struct InputRuns {
    std::vector<ComparedRun> runs;
    std::vector<std::string> errors;
};
