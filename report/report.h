// The HTML report of a run, written line by line while the run proceeds.
#pragma once

#include "engine/profiles.h"
#include "engine/run_record.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

// The open report, or INVALID_HANDLE_VALUE when there is none.
extern HANDLE ReportFile;
// The path chosen for the latest run's report, kept after the run.
extern std::wstring ReportPath;

// Marks the writer as having no open report (start-up).
void ResetReportWriter();

// Returns the path, or an empty text when the file could not be created.
std::wstring OpenReport(const std::wstring& folder, const std::wstring& benchmarkType,
                        const std::wstring& sizeText);
// One line of the open report, written through at once; nothing without one.
void WriteReportLine(const std::wstring& line);
// Flushes and closes the open report, keeping it.
void EndReport();
void WriteReportHeader(int64_t passCount, int64_t testSizeMiB, const std::wstring& folder,
                       const Profile& profile = WindowProfile);
void WriteInfoRow(const std::wstring& label, const std::wstring& value, int width);
void WritePassRow(int64_t n, double speedMBps, double timeMs);
// The window's profile gets WritePassRow; any other, its IOPS and latencies too.
void WritePassFigures(const PassFigures& figures, const Profile& profile);
void StartWriteSection(const Profile& profile = WindowProfile);
void FinishReport(const RunResult& result, const Profile& profile = WindowProfile);
void DiscardReport();
// "07/12/2026" and "15:30:45" with "/" and ":"; the report's name uses "".
std::wstring DateText(const SYSTEMTIME& t, const wchar_t* separator);
std::wstring TimeText(const SYSTEMTIME& t, const wchar_t* separator);
std::wstring EscapeHtml(const std::wstring& text);

// The box shown when the report cannot be created (code: the creation's last error).
std::wstring ReportCreationFailedText(const std::wstring& folder, DWORD code);
constexpr const wchar_t* ProgramTitle = L"Corvasta V1.1.0 x64";
