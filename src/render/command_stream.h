// The duplicator's command stream: commands (0x1E "&" parameters "&" letter),
// info records, thumbnails and compressed raster lines, gathered in the
// device record's OutputBuffer and flushed to the record's output sink
// (the spooler job, or the job file of a preview or storage job).
//
// Every writer returns 1 on success and 0 when the output cannot be taken
// (no buffer, a failed flush, a job that has already failed, or a value the
// stream cannot carry). Once a flush fails, the job's failed word is set and
// every later flush returns 0 without writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "planes/pdev_record.h"
#include "plat/base.h"

inline constexpr std::size_t kOutputBufferSize = 8191;

// The command buffer of a RenderPdev; the record keeps the fill count.
struct OutputBuffer {
  std::uint8_t bytes[kOutputBufferSize];
};
static_assert(sizeof(OutputBuffer) == 8191);

// Allocates the zero-filled buffer when the record has none. 1, or 0 without memory.
int AllocateOutputBuffer(RenderPdev* pdev);
// Frees the buffer and clears the fill.
void FreeOutputBuffer(RenderPdev* pdev);

// A format text: 0x1E followed by ASCII with "%d" placeholders. length is the
// text's length; 0 writes nothing and reports failure.
struct CommandText {
  const char* text;
  std::uint16_t length;
};

// Formats a command with its values (unsigned 16-bit for the first two
// writers, signed 32-bit for PutCommand4Int) and adds it to the buffer,
// flushing down to fewer than 255 bytes first when the formatted command
// would not fit. Every value is a value: none of them means raw bytes.
int PutCommand2(RenderPdev* pdev, const CommandText& format, std::uint16_t a, std::uint16_t b);
int PutCommand4(RenderPdev* pdev, const CommandText& format, std::uint16_t a, std::uint16_t b, std::uint16_t c,
                std::uint16_t d);
int PutCommand4Int(RenderPdev* pdev, const CommandText& format, std::int32_t a, std::int32_t b, std::int32_t c,
                   std::int32_t d);
// Adds raw bytes (records, thumbnails, raster data) unchanged. Data larger
// than the room left is written through to the sink in order; an empty
// piece writes nothing and reports failure.
int PutRawBytes(RenderPdev* pdev, std::span<const std::uint8_t> bytes);

// The sink of a spooler job: WritePrinter on the printer handle.
OutputSink SpoolerSink(HANDLE printer);

// Readies the record's sink for a sheet or the job end (a job file is
// reopened at its end). 1; 0 when the job has failed or the sink cannot be
// readied, which fails the job.
int ResumeOutput(RenderPdev* pdev);
// Lets go of the sink after a sheet or the job (a job file is closed). 0 only
// when testFailure is set and the job has failed.
int PauseOutput(RenderPdev* pdev, BOOL testFailure);

// Writes the buffer to the job's sink while it holds at least `threshold`
// bytes (255 keeps at most 254 back; 1 empties it). A sink that fails,
// takes nothing or claims more than it was given fails the flush and the
// job (a job file's sink closes its file and leaves a failed-job record once).
int FlushOutput(RenderPdev* pdev, std::uint16_t threshold);
int FlushOutputAll(RenderPdev* pdev);

struct InkColor {
  std::uint16_t code;  // the code to send
  std::uint8_t rgb[3];
};
// 1000..1063 give themselves, 0..63 are taken as 1000 + code, anything else
// gives 1032 with 1, 1, 1.
InkColor InkCodeToRgb(std::int32_t code);

// A text record: 0x1F tag, four-digit length, 0x1F, value (no terminator).
struct InfoRecord {
  std::uint8_t bytes[300];
  std::uint16_t length;
};
// Builds "FILE", "TIME" or "HOST" with a value of at most 256 bytes; false
// when the value does not fit.
bool FormatInfoRecord(InfoRecord& record, const char tag[4], std::span<const char> value);

// Cuts a job name (narrow, in the printer code page of `language`) to the
// part after its last backslash, in place; double-byte languages 18, 19 and
// 20 skip the trail byte of each lead byte.
void ReduceToFileName(char (&name)[256], std::uint8_t language);

// Bare commands.
int WriteReset(RenderPdev* pdev);
int WriteJobEnd(RenderPdev* pdev);
int WriteFormFeed(RenderPdev* pdev);

// The job header of the first sheet, with every item below in order. The
// copies of the record are limited to 1..9999 as they are sent.
int WriteJobHeader(RenderPdev* pdev);
// FILE, TIME (date refreshed first) and HOST records, each announced by "&n".
int WriteJobInfoRecords(RenderPdev* pdev);
int WriteTwoDensities(RenderPdev* pdev);
int WriteBinOption(RenderPdev* pdev);
int WriteOutputModeOption(RenderPdev* pdev);
int WriteColourModeOption(RenderPdev* pdev);
int WriteRgPanelOption(RenderPdev* pdev);
int WriteSetupList(RenderPdev* pdev);
int WriteTapeSortOption(RenderPdev* pdev);

// Ink commands that open a drum page: code with R, G, B, then code with L, a, b.
int WriteDrum1Ink(RenderPdev* pdev);
int WriteDrum2Ink(RenderPdev* pdev);

// Grey thumbnail of width x height pixels, rows bottom first as stored in the
// bitmap file. 0 for a width that is not a multiple of 4 or a picture whose
// record length does not fit in 16 bits.
int WriteThumbnail(RenderPdev* pdev, std::span<const std::uint8_t> pixels, std::uint32_t width,
                   std::uint32_t height);

// "&M" with the mode; the record remembers it as the mode of this drum page.
int WriteCompressionMode(RenderPdev* pdev, std::int16_t mode);
// "&V" and "&H" of plane line n (1 = first plane row or column); the side of
// a duplex sheet follows the record's sheet counter. 0 when a position does
// not fit in 16 bits.
int WriteLinePosition(RenderPdev* pdev, std::int32_t line);
// "&i" with the count, then the compressed bytes (1..65535 of them).
int WriteRasterLine(RenderPdev* pdev, std::span<const std::uint8_t> packed);
