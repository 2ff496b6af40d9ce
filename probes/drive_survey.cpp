#include "drive_survey.h"

#include "number_text.h"

std::string DriveRowText(const FixedDrive& drive, char decimalSeparator) {
    return "Drive " + drive.Root.substr(0, 2) + std::string(24, ' ') +
           numtext::GigabytesText(drive.TotalBytes, decimalSeparator) +
           std::string(kDriveFieldSeparator) +
           numtext::GigabytesText(drive.FreeBytes, decimalSeparator);
}
