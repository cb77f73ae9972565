// Drives, the storage job-folder tree and the job files of printjob.
#include "printjob/job_destination.h"

#include <filesystem>
#include <system_error>

#include "device/usb_job_folders.h"
#include "plat/base.h"
#include "plat/strings.h"
#include "render/job_files.h"
#include "settings/doc_settings.h"

namespace fs = std::filesystem;

namespace printjob {

namespace {

struct DriveType {
  std::string_view name;
  UINT type;
};
constexpr DriveType kDriveTypes[] = {{"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED},
                                     {"remote", DRIVE_REMOTE},       {"cdrom", DRIVE_CDROM},
                                     {"ramdisk", DRIVE_RAMDISK}};

// Longest file-system name and label a volume reports.
constexpr std::size_t kMaxFileSystemName = 31;
constexpr std::size_t kMaxVolumeLabel = 32;

bool SameRoot(std::u16string_view a, std::u16string_view b) { return plat::EqualsNoCase(a, b); }

// The configured drive text of the settings, up to its terminator.
std::u16string ConfiguredDrive(const DocSettings& s) {
  std::u16string text;
  for (std::size_t i = 0; i < kUsbDriveUnits && s.UsbDrive[i] != 0; ++i) text += s.UsbDrive[i];
  return text;
}

std::string Text(std::u16string_view s) { return plat::utf8(s); }

}  // namespace

std::optional<char16_t> ParseDriveLetter(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return std::nullopt;
  if (text.size() >= 2 && text[1] != ':') return std::nullopt;
  if (text.size() == 3 && text[2] != '\\' && text[2] != '/') return std::nullopt;
  return static_cast<char16_t>(c);
}

std::u16string DriveRoot(char16_t letter) { return std::u16string{letter, u':', u'\\'}; }

std::string ParseDriveOption(std::string_view option, plat::machine::Drive& drive) {
  const std::string_view usage = "--drive takes LETTER=TYPE:FILESYSTEM[:LABEL], e.g. E=removable:FAT32";
  const std::size_t eq = option.find('=');
  if (eq == std::string_view::npos) return std::string(usage);
  auto letter = ParseDriveLetter(option.substr(0, eq));
  if (!letter) return std::string(usage);
  if (*letter < u'D') return "--drive: drives A: to C: are not available (C: holds the printer's files)";
  std::string_view rest = option.substr(eq + 1);
  const std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return std::string(usage);
  const std::string_view typeName = rest.substr(0, colon);
  rest = rest.substr(colon + 1);
  const std::size_t labelAt = rest.find(':');
  const std::string_view fileSystem = rest.substr(0, labelAt);
  const std::string_view label = labelAt == std::string_view::npos ? std::string_view() : rest.substr(labelAt + 1);

  const DriveType* type = nullptr;
  for (const DriveType& t : kDriveTypes)
    if (t.name == typeName) type = &t;
  if (!type) return "--drive: the type is one of removable, fixed, remote, cdrom, ramdisk";
  if (fileSystem.empty() || fileSystem.size() > kMaxFileSystemName)
    return "--drive: the file-system name takes 1.." + std::to_string(kMaxFileSystemName) + " characters";
  const std::u16string wideLabel = plat::u16(label);
  if (wideLabel.size() > kMaxVolumeLabel)
    return "--drive: the label takes at most " + std::to_string(kMaxVolumeLabel) + " characters";

  drive = plat::machine::Drive{};
  drive.letter = *letter;
  drive.type = type->type;
  drive.fileSystem = plat::u16(fileSystem);
  drive.label = wideLabel;
  return {};
}

std::string PrepareStorageDrive(const DocSettings& settings, std::u16string* root) {
  const std::vector<std::u16string> drives = ListRemovableFatDrives();
  const std::u16string configured = ConfiguredDrive(settings);
  const bool automatic = static_cast<OutputMode>(settings.OutputMode) == OutputMode::StorageAutomatic;
  const bool usesConfigured =
      !configured.empty() && (automatic || (settings.UsbFolder >= 1 && settings.UsbFolder <= kJobFolderCount));

  std::u16string chosen;
  if (usesConfigured) {
    for (const std::u16string& d : drives)
      if (SameRoot(d, configured)) chosen = d;
    if (chosen.empty()) {
      std::string letter = Text(configured.substr(0, 1));
      return "UsbDrive " + Text(configured) + " is not a removable FAT or FAT32 drive of the machine (add --drive " +
             letter + "=removable:FAT32 or use --storage " + letter + ")";
    }
  } else {
    if (drives.empty())
      return "a storage job needs a removable FAT or FAT32 drive (--storage E or --drive E=removable:FAT32)";
    // The driver takes the first drive that has the tree; the sheets create
    // one on the last drive found when none has it.
    for (const std::u16string& d : drives)
      if (chosen.empty() && CheckJobFolderTree(d.c_str(), FALSE)) chosen = d;
    if (chosen.empty()) chosen = drives.back();
  }
  if (!CheckJobFolderTree(chosen.c_str(), FALSE) && !CreateJobFolderTree(chosen.c_str()))
    return "cannot create the job-folder tree on " + Text(chosen) + " (error " + std::to_string(GetLastError()) + ")";
  *root = chosen;
  return {};
}

std::map<std::string, std::u16string> StorageJobFiles() {
  std::map<std::string, std::u16string> files;
  for (const std::u16string& root : ListRemovableFatDrives()) {
    const std::u16string base = JobTreeBase(root);
    for (const char16_t* folder : kJobTreeFolders) {
      if (std::u16string_view(folder) == kJobControlFolder) continue;
      const std::u16string windows = base + u"\\" + folder;
      const std::string host = plat::machine::HostPath(windows);
      if (host.empty()) continue;
      std::error_code ec;
      for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
        const std::u16string name = plat::u16(it->path().filename().string());
        if (IsStorageJobFileName(name)) files.emplace(it->path().string(), windows + u"\\" + name);
      }
    }
  }
  return files;
}

}  // namespace printjob
