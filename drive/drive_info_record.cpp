#include "drive/drive_info.h"

// The disk texts read "Unknown" until a gathering succeeds.
DriveInfoRecord DriveInfo = {L"Unknown", L"Unknown", L"Unknown", L""};
