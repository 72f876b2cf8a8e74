// What both command lines (the run's and compare's) do with their CLI11
// description: parse the arguments, and print the usage text.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

// A command line with -h and --help of its own, Linux-style options only, and
// flags that take no value.
std::unique_ptr<CLI::App> NewApp(const std::string& description, const std::string& name);

// False with errorText set when an argument is wrong.
bool ParseArguments(CLI::App& app, const std::vector<std::wstring>& arguments, std::wstring& errorText);
std::wstring UsageText(const CLI::App& app);
