// The job-folder tree on a removable FAT drive: "OSTRA\USB" with six job
// folders, the automatic folder and the control folder "X_TMP" holding the
// folder-name file "NEVOFOLDER" and the job counter "NEVOJOB". The sheets
// prepare a drive with these routines; the render library checks the same
// tree and keeps the job counter in it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

inline constexpr char16_t kJobTopFolder[] = u"OSTRA";
inline constexpr char16_t kJobRootFolder[] = u"USB";
inline constexpr char16_t kJobAutoFolder[] = u"X_AUTO";
inline constexpr char16_t kJobControlFolder[] = u"X_TMP";
inline constexpr char16_t kJobFolderFileName[] = u"NEVOFOLDER";
inline constexpr char16_t kJobCounterFileName[] = u"NEVOJOB";
// The folders below "USB", in the order they are checked and created.
inline constexpr std::array<const char16_t*, 8> kJobTreeFolders = {
    u"1_FOLDER", u"2_FOLDER", u"3_FOLDER", u"4_FOLDER", u"5_FOLDER", u"6_FOLDER", kJobAutoFolder, kJobControlFolder};

inline constexpr int kJobFolderCount = 6;
inline constexpr std::size_t kJobFolderNameBytes = 260;  // a name holds at most 255 characters
inline constexpr std::size_t kJobFolderFileSize = 2048;
inline constexpr std::size_t kJobCounterFileSize = 512;
inline constexpr std::uint32_t kLastJobNumber = 999999999;

// One record of "NEVOFOLDER": folder number 1..6 (little-endian on disk) and
// the ANSI name the user sees, zero-terminated and zero-padded.
struct JobFolderRecord {
  std::uint32_t number;
  char name[kJobFolderNameBytes];
};
static_assert(offsetof(JobFolderRecord, number) == 0);
static_assert(offsetof(JobFolderRecord, name) == 4);
static_assert(sizeof(JobFolderRecord) == 264);
static_assert(kJobFolderCount * sizeof(JobFolderRecord) <= kJobFolderFileSize);

// Controls of the dialog that hosts the USB choice.
inline constexpr int kUsbDriveCombo = 3219;
inline constexpr int kUsbVolumeText = 3220;
inline constexpr int kUsbFolderLabel = 3221;
inline constexpr int kUsbFolderCombo = 3222;
inline constexpr int kUsbOkButton = 1;

// String ids of the drivers' resource library.
inline constexpr UINT kUsbMessageCaption = 3632;
inline constexpr UINT kUsbNoDriveText = 3633;
inline constexpr UINT kUsbCreateTreeText = 3634;

// "E:\" -> "E:\OSTRA\USB" and "E:\OSTRA\USB\X_TMP".
std::u16string JobTreeBase(std::u16string_view driveRoot);
std::u16string JobTreeControlFolder(std::u16string_view driveRoot);

// Roots ("E:\") of the removable drives other than A: and B: whose file
// system is exactly "FAT" or "FAT32", in the order of the logical drive strings.
std::vector<std::u16string> ListRemovableFatDrives();

// The suitable drives (0-255). With a dialog and the fill flag the drive combo
// is refilled and the folder controls and OK are reset first; the list, when
// given, receives the roots joined by "," (at most 259 characters).
int FindUsbDrives(HWND dialog, BOOL fill, std::u16string* list);

// 1 when the whole tree and both control files exist on the drive, else 0.
// With rehide the "USB" folder is marked hidden again.
int CheckJobFolderTree(LPCWSTR driveRoot, BOOL rehide);

// Creates what is missing of the tree; existing control files are kept
// unchanged. A control file that cannot be written whole is removed again.
// 1 or 0 (last error set).
int CreateJobFolderTree(LPCWSTR driveRoot);

// Reads the six records of "NEVOFOLDER" in the given X_TMP folder; 0 when the
// file is missing, short or out of order. Names come back terminated.
int ReadJobFolderFile(LPCWSTR controlFolder, std::span<JobFolderRecord, kJobFolderCount> records);

// The 2048-byte "NEVOFOLDER" image with the six default names, and the
// 512-byte "NEVOJOB" image holding a value.
std::array<BYTE, kJobFolderFileSize> DefaultJobFolderFileImage();
std::array<BYTE, kJobCounterFileSize> JobCounterFileImage(std::uint32_t value);

// Write the images above in one call; 1 when every byte was written.
int WriteJobFolderFile(HANDLE file);
int WriteJobCounterFile(HANDLE file, DWORD value);

// Fills the folder combo with the six names from the drive's "NEVOFOLDER"
// (default names when it cannot be read), selects the first and enables the
// folder controls. 1 when the file was read.
int FillJobFolderNames(HWND dialog, LPCWSTR driveRoot);

// Finds a drive for storage jobs and, in dialog mode, shows it in the dialog
// (wantedDrive and wantedFolder 1-6 are selected when possible). Offers to
// create the tree when no drive has one. 1 when a usable drive is chosen.
int PrepareUsbJobFolder(HWND dialog, HMODULE resources, BOOL noNames, BOOL dialogMode, LPCWSTR wantedDrive,
                        int wantedFolder);
