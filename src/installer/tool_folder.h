// What an installation leaves besides the printer: the product folder under
// Program Files with the uninstaller's copy of the installer ("Tool"), the
// manuals and the preview program, and the Start-menu links to them.
#pragma once

#include <string>
#include <string_view>

#include "installer/setup_context.h"

namespace installer {

enum class LinkKind { Manual = 1, Uninstaller = 2, Preview = 3 };

inline constexpr std::u16string_view kPreviewFolder = u"Preview and Edit";

// Language string 10, at most 29 characters, into the context's maker folder.
void ReadMakerFolder(SetupContext& ctx);
// The shell's folder (CSIDL_*) without a trailing backslash; "" on failure.
std::u16string ShellFolder(INT csidl);
// The Start-menu folder of the product's links, ending in a backslash:
// two levels (maker, product), one "maker product" on Windows 8.
std::u16string LinkFolder(const SetupContext& ctx, std::u16string_view productFolder);

// Each returns 1 on success, 0 after showing the failure.
int CopyToolFiles(SetupContext& ctx);
int CopyResourceDll(SetupContext& ctx, std::u16string_view targetFolder);
// Non-zero when the manuals' links were made.
int CopyManuals(SetupContext& ctx);
// The last link's result, -1 when the pattern finds nothing.
int CreateManualShortcuts(SetupContext& ctx, std::u16string_view folder, std::u16string_view pattern);
int InstallPreviewApp(SetupContext& ctx);
int SetPreviewExePath(std::u16string_view path, const SetupContext& ctx);
int CopyFolderTree(std::u16string_view destination, std::u16string_view source);
int CreateStartMenuShortcut(std::u16string_view fileName, SetupContext& ctx, LinkKind kind, std::u16string_view target);
int CreateShellLink(std::u16string_view folder, std::u16string_view name, std::u16string_view target);
int ClearReadOnlyTree(std::u16string_view folder);
int WriteUninstallerSetupIni(SetupContext& ctx);

}  // namespace installer
