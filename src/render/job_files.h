// Job output files: the preview file in the temporary folder, numbered job
// files in the job-folder tree of a removable drive with the shared job
// counter, the per-user record of a job file that could not be written, and
// the job texts in the printer's code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "planes/pdev_record.h"
#include "plat/base.h"

// Per-user key of the failed-job records; the printer name and "\" follow.
inline constexpr char16_t kFailedJobKeyPrefix[] = u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\";

// Attempts to take a job number while another process holds the counter.
inline constexpr int kJobCounterAttempts = 5;
inline constexpr DWORD kJobCounterRetryMs = 500;

// Kinds of SetJobHeaderText.
inline constexpr int kJobHeaderDate = 1;
inline constexpr int kJobHeaderName = 2;

// Where a job's stream goes, from its Preview and OutputMode settings: a
// preview job (Preview 1) never goes to a storage folder.
enum class JobOutput { Spooler, PreviewFile, StorageFile };
JobOutput JobOutputOf(std::uint8_t preview, OutputMode mode);

// The preview file of a job: "<temp>\RV<job id, 4+ digits>.PRN"; empty when
// the temporary folder cannot be read or the name does not fit.
std::u16string PreviewFilePath(DWORD jobId);

// Storage job files are "JOB" + nine digits + ".PRN".
bool IsStorageJobFileName(std::u16string_view name);

// The sink of a preview or storage job: its job file, reopened at its end for
// every sheet and the job end and closed after them. A failed write fails
// the job file (FailJobFile).
OutputSink JobFileSink(RenderPdev* pdev);

// At the start of a preview job, when no job file path is set yet: creates
// (or empties) the preview file and keeps its path. 0 when
// the file cannot be made; the job is then marked failed and recorded.
int CreateSpoolTempFile(RenderPdev* pdev);

// At the start of a storage job (output mode 3 or 4), when no job file path is
// set yet: takes the next job number and creates "JOBnnnnnnnnn.PRN" in the
// job folder; never overwrites a file. 1 when a file was created and its path
// kept. 0 without a drive, tree or number (the first sheet then fails the
// job), or when the file cannot be created (the job is failed and recorded).
int CreateStorageJobFile(RenderPdev* pdev);

// Opens the job file for reading and writing without sharing, creating it
// when missing. 1 with the handle in the record; 0 leaves it invalid.
int OpenSpoolFile(RenderPdev* pdev);

// Closes the job file when it is open. Returns 0 only when testFailure is set
// and the job has failed.
int CloseSpoolFile(RenderPdev* pdev, BOOL testFailure);

// Writes the failed-job record (value "<job id>" = job file path) under the
// volatile per-user key of the printer. 1 on success; failures are dropped.
int RecordFailedJobFile(RenderPdev* pdev);

// The first failure of a job file: closes the file, marks the job failed and
// writes the failed-job record; later calls only make sure the file is closed.
void FailJobFile(RenderPdev* pdev);

// The start of every sheet and of the job end of a file job: 0 at once for a
// failed job; otherwise reopens the job file and moves to its end. Failure
// fails the job (FailJobFile) and returns 0.
int ReopenJobFileAtEnd(RenderPdev* pdev);

// The file sink of the output flush: writes all bytes at the current
// position of the open job file, carrying on after partial writes. 1 when all
// were written; 0 when the file is not open or a write fails, after
// FailJobFile (so a failed job writes nothing more and is recorded once).
int WriteJobFile(RenderPdev* pdev, const BYTE* data, DWORD size);

// The job counter "NEVOJOB" in the given X_TMP folder. One attempt: opens it
// without sharing, returns the number and advances it (999999999 is returned
// but never advanced); repairs a damaged counter to 1 and fails the attempt.
int NextStorageJobNumber(LPCWSTR counterFolder, DWORD* number);
// Up to five attempts 500 ms apart.
int ReadJobCounterWithRetry(LPCWSTR counterFolder, DWORD* number);

// Removable FAT/FAT32 drives other than A: and B:; the count, and the roots
// joined by "," (at most 260 units) when a list is given.
int FindRemovableFatDrives(std::u16string* list);
// The first of those drives that holds the whole job-folder tree ("E:\"), 1
// when found.
int FindStorageDrive(std::u16string* root);

// Code page of a printer language number (1..30); 0 (the ANSI code page) for
// any other number.
UINT CodePageForLanguage(int language);

// Converts a wide text into out (size bytes, always terminated) in the
// language's code page. Returns 0, or the system error: with
// ERROR_INSUFFICIENT_BUFFER out holds the longest whole-character beginning
// that fits; with any other error out is empty.
DWORD WideToPrinterCodePage(int language, LPCWSTR text, char* out, int size);

// kJobHeaderDate: the local time as "yyyy/mm/dd hh:mm" (hour and minute
// space-padded) into the date text. kJobHeaderName: with the use-document-name
// flag, the document name into the job name.
void SetJobHeaderText(RenderPdev* pdev, int kind);

// The user's name, cut at 127 characters, into out (256 bytes) in the
// language's code page; empty when it cannot be read.
void GetUserNameForJob(char* out, int language);
