#include "drive/drive_info.h"

DriveInfoRecord DriveInfo;
