// Where printjob's job goes besides the spooler: the drives of the machine
// model, the job-folder tree a storage job needs, and the storage job files
// the driver wrote. Which output a job has, and the names of its files, are
// the render library's (render/job_files.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/machine.h"

struct DocSettings;

namespace printjob {

// "E=removable:FAT32[:LABEL]": drive letter D..Z (C: holds the printer's
// files), type removable, fixed, remote, cdrom or ramdisk, a file-system name
// and an optional volume label. An empty string, or what is wrong.
std::string ParseDriveOption(std::string_view option, plat::machine::Drive& drive);

// "E", "E:" or "E:\" to the drive letter (upper case); nullopt otherwise.
std::optional<char16_t> ParseDriveLetter(std::string_view text);

// The root ("E:\") of a drive letter.
std::u16string DriveRoot(char16_t letter);

// Makes sure the drive a storage job will use carries the job-folder tree,
// as the printer's property sheets do before such a job: the configured drive
// (UsbDrive) when the driver will take it, else a removable FAT drive that
// already has the tree, else the last removable FAT drive, where the tree is
// created. On success *root names the drive; otherwise what is wrong.
std::string PrepareStorageDrive(const DocSettings& settings, std::u16string* root);

// The storage job files now in the job folders of every removable FAT drive:
// host path to Windows path.
std::map<std::string, std::u16string> StorageJobFiles();

}  // namespace printjob
