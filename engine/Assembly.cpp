#include "engine/Assembly.h"

#include <map>

#include "engine/FreeName.h"
#include "engine/KeptRecording.h"
#include "engine/SessionContext.h"
#include "engine/Vistrel.h"
#include "platform/Check.h"
#include "platform/Containers.h"
#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

std::string OpenErrorText(AviResult code) {
  switch (code) {
    case REGDB_E_CLASSNOTREG:
      return "According to the registry, the type of stream file specified in AVIFileOpen does "
             "not have a handler to process it.";
    case AVIERR_BADFORMAT:
      return "The file could not be read, indicating a corrupt file or an unrecognized format.";
    case AVIERR_MEMORY:
      return "The file could not be opened because of insufficient memory.";
    case AVIERR_FILEREAD:
      return "A disk error occurred while reading the stream file.";
    case AVIERR_FILEOPEN:
      return "A disk error occurred while opening the stream file.";
    default:
      return "Unknown error opening stream file";
  }
}

std::string SaveErrorText(AviResult code) {
  static const std::map<AviResult, const char*> kTexts = {
      {AVIERR_UNSUPPORTED, "Error: unsupported format!"},
      {AVIERR_BADFORMAT, "Error: bad format!"},
      {AVIERR_MEMORY, "Error: out of memory!"},
      {AVIERR_INTERNAL, "Error: internal error!"},
      {AVIERR_BADFLAGS, "Error: bad flags!"},
      {AVIERR_BADPARAM, "Error: bad params!"},
      {AVIERR_BADSIZE, "Error: bad size!"},
      {AVIERR_BADHANDLE, "Error: bad handle!"},
      {AVIERR_FILEREAD, "Error: reading files!"},
      {AVIERR_FILEWRITE, "Error: writing files!"},
      {AVIERR_DISKFULL, "Error: the disk is full!"},
      {AVIERR_FILEOPEN, "Error: opening files!"},
      {AVIERR_COMPRESSOR, "Error: in compressor!"},
      {AVIERR_NOCOMPRESSOR, "Error: no compressor!"},
      {AVIERR_READONLY, "Error: read-only files!"},
      {AVIERR_NODATA, "Error: no data!"},
      {AVIERR_BUFFERTOOSMALL, "Error: buffer too small!"},
      {AVIERR_CANTCOMPRESS, "Error: cannot compress!"},
      {AVIERR_USERABORT, "Error: user abort!"},
      {AVIERR_ERROR, "Error: generic!"},
  };
  const auto known = kTexts.find(code);
  if (known != kTexts.end()) return known->second;
  return "Avi error number: " + std::to_string(static_cast<std::uint32_t>(code));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// ".recovered.avi" numbered: ".recovered-2.avi" for 2; the first keeps the ending as it is.
// An ending without a dot gets the number at its end.
std::string NumberedEnding(const std::string& ending, int number) {
  if (number == 1) return ending;
  const std::size_t dot = std::min(ending.rfind('.'), ending.size());
  return ending.substr(0, dot) + "-" + std::to_string(number) + ending.substr(dot);
}

// `base + ending`, with the last name of `base` shortened (by whole UTF-8 characters) until
// the file system takes it; empty when even the ending alone is too long there.
std::string FittingName(Files& files, std::string base, const std::string& ending) {
  const std::size_t nameStart = base.rfind('/') + 1;  // 0 without a slash
  while (files.NameTooLong(base + ending)) {
    if (base.size() <= nameStart) return {};
    unsigned char removed;
    do {
      removed = static_cast<unsigned char>(base.back());
      base.pop_back();
    } while ((removed & 0xC0) == 0x80 && base.size() > nameStart);
  }
  return base + ending;
}

constexpr int kMostNumberedNames = 999;

// Pictures that the kind of file named cannot carry (a recording that went on with the default
// compressor when its own failed), as the line for the user; empty when they fit. A name of no
// known kind is saved as AVI.
std::string PicturesProblem(const std::string& fileName, int count, PAVISTREAM* streams) {
  AVISTREAMINFOA info;
  if (!ContainerOfName(fileName) || count < 1 || !streams[0] ||
      AVIStreamInfo(streams[0], info) != AVIERR_OK || info.fccType != streamtypeVIDEO) {
    return "";
  }
  return ContainerProblem(fileName, info.fccHandler, FourCCText(info.fccHandler));
}

// Whether the first of `streams` is a picture stream with a frame in it.
bool HoldsPictures(int count, PAVISTREAM* streams) {
  AVISTREAMINFOA info;
  return count > 0 && AVIStreamInfo(streams[0], info) == AVIERR_OK &&
         info.fccType == streamtypeVIDEO && info.dwLength > 0;
}

}  // namespace

std::string ClaimFreeName(Files& files, const std::string& base, const std::string& ending,
                          const std::function<bool(const std::string&)>& claim,
                          const std::function<bool(const std::string&)>& taken) {
  for (int number = 1; number <= kMostNumberedNames; ++number) {
    const std::string to = FittingName(files, base, NumberedEnding(ending, number));
    if (to.empty()) return {};
    if (claim(to)) return to;
    if (taken ? !taken(to) : !files.Exists(to)) return {};
  }
  return {};
}

std::string MoveToFreeName(Files& files, const std::string& from, const std::string& base,
                           const std::string& ending) {
  return ClaimFreeName(files, base, ending,
                       [&](const std::string& to) { return files.RenameNoReplace(from, to).ok(); });
}

void OpenTrackStream(const AssemblyContext& context, const std::string& path, PAVISTREAM& slot) {
  ORVENNA_CHECK_THREAD(Recording, "OpenTrackStream");
  if (!context.files.Exists(path)) return;
  PAVIFILE file;
  const AviResult opened = AVIFileOpen(file, context.files, path, OF_READ);
  if (opened != AVIERR_OK) context.sink.Report(OpenErrorText(opened));
  if (opened != AVIERR_OK || AVIFileGetStream(file, slot, 0, 0) != AVIERR_OK) {
    slot.reset();
    context.sink.Report("Unable to get stream");
  }
  if (opened == AVIERR_OK) AVIFileRelease(file);
}

// A file that another program holds is not replaced, nor any file when the output may not
// replace one.
SaveOutcome SaveStreams(const AssemblyContext& context, const std::string& fileName, int count,
                        PAVISTREAM* streams) {
  ORVENNA_CHECK_THREAD(Recording, "SaveStreams");
  Files& files = context.files;
  SessionSink& sink = context.sink;
  SaveOutcome outcome;
  if (files.NameTooLong(fileName)) {
    sink.Report("The file name is too long for the file system: " + fileName);
    outcome.code = AVIERR_BADPARAM;
    return outcome;
  }
  if (context.replaceOutput && files.Exists(fileName) && files.IsLocked(fileName)) {
    const std::string cause = files.WriteProblem(fileName);
    sink.Report("Can not delete existing video file. " + fileName + ": " +
                (cause.empty() ? "another program holds it" : cause) + ".");
    outcome.code = AVIERR_FILEOPEN;
    return outcome;
  }
  if (const std::string problem = PicturesProblem(fileName, count, streams); !problem.empty()) {
    sink.Report(problem);
    outcome.code = AVIERR_UNSUPPORTED;
    return outcome;
  }
  context.shell.PushBusyCursor();
  std::string hidden;
  const Container container = ContainerOfName(fileName).value_or(Container::Avi);
  outcome.code = context.kept.SaveHidden(
      context.lock, FolderPart(fileName),
      [&](File& output) {
        return context.containers.SaveInto(container, output, context.progress, count, streams);
      },
      hidden);
  // A save the user stopped leaves a complete file of what was copied.
  if ((outcome.code == AVIERR_OK || outcome.code == AVIERR_USERABORT) &&
      !context.kept.PutHiddenAway(context.lock, hidden, [&] {
        if (context.replaceOutput) return files.Rename(hidden, fileName).ok();
        // The output's own name is the first one tried.
        const std::string ending = NameEnding(fileName);
        const std::string name = MoveToFreeName(
            files, hidden, fileName.substr(0, fileName.size() - ending.size()), ending);
        if (name != fileName) outcome.keptAs = name;
        return !name.empty();
      })) {
    outcome.code = AVIERR_FILEWRITE;
  }
  context.shell.PopCursor();
  if (outcome.code == AVIERR_DISKFULL) {
    sink.Report("The disk holding " + FolderOf(fileName) + " is full: " + fileName +
                " was not written (a file of that name was left as it was).");
  } else if (outcome.code == AVIERR_USERABORT) {
    sink.Report(SaveErrorText(outcome.code));
  } else if (outcome.code != AVIERR_OK) {
    // The file, and what stood in the way where the file system can tell.
    const std::string cause = files.WriteProblem(fileName);
    sink.Report(SaveErrorText(outcome.code) + " " + fileName + (cause.empty() ? "" : ": " + cause) +
                ".");
  }
  if (!outcome.keptAs.empty()) {
    sink.Report(fileName + " was created by another program during the recording and was left " +
                "as it was; the recording was kept in " + outcome.keptAs + ".");
  }
  return outcome;
}

namespace {

// Keeps the recording next to the target (or in the temporary folder when the target's folder
// refuses it) under a free name that says what it is, and tells the user where.
void KeepRecording(const AssemblyContext& context, const std::string& fileName,
                   const RecordingTracks& tracks) {
  const KeptFiles kept =
      context.kept.KeepTemporaryFiles(context.lock, {FolderPart(fileName)}, StemPart(fileName),
                                      tracks.empty() ? std::string() : tracks[0]->TempFile(),
                                      tracks.size() < 2 ? std::string() : tracks[1]->TempFile());
  if (kept.names.empty()) return;
  context.kept.SpoilTempFiles();
  std::string message = "The recording was kept in ";
  for (std::size_t i = 0; i < kept.names.size(); ++i) message += (i ? " and " : "") + kept.names[i];
  context.sink.Report(message + ".");
}

}  // namespace

SaveOutcome AssembleRecording(const AssemblyContext& context, const std::string& fileName,
                              const RecordingTracks& tracks) {
  ORVENNA_CHECK_THREAD(Recording, "AssembleRecording");
  ORVENNA_CHECK(tracks.size() <= 2, "one video and at most one audio track");
  PAVISTREAM streams[2];
  int count = 0;
  for (const auto& track : tracks) {
    OpenTrackStream(context, track->TempFile(), streams[count]);
    if (streams[count]) ++count;
  }
  // No picture, no file: one that held only sound, or nothing, is no recording of the screen,
  // and most players refuse it.
  if (!HoldsPictures(count, streams)) {
    for (int i = 0; i < count; ++i) AVIStreamRelease(streams[i]);
    context.sink.Report("Nothing was recorded: the recording ended before its first picture.");
    return SaveOutcome{};
  }
  const SaveOutcome outcome = SaveStreams(context, fileName, count, streams);
  for (int i = 0; i < count; ++i) AVIStreamRelease(streams[i]);
  if (outcome.code == AVIERR_OK) {
    context.kept.SpoilTempFiles();
  } else if (outcome.code != AVIERR_USERABORT) {
    KeepRecording(context, fileName, tracks);
  }
  return outcome;
}

// The engine's own assembly operations, outside a recording's context: reports go to
// OnError, progress to the current engine's OnSaving.
AssemblyContext TVistrel::ContextOfAssembly() {
  return AssemblyContext{platform_.files,      platform_.shell,     *kept_,
                         recordingLock_.get(), replaceOutput_,      *this,
                         SaveProgressCallback, platform_.containers};
}

void TVistrel::OpenAVIStream(const std::string& path, PAVISTREAM& slot) {
  OpenTrackStream(ContextOfAssembly(), path, slot);
}

bool TVistrel::SaveAVIFile(const std::string& fileName, int count, PAVISTREAM* streams) {
  return SaveStreams(ContextOfAssembly(), fileName, count, streams).Saved();
}

std::int32_t TVistrel::SaveProgressCallback(int percent) {
  TVistrel* engine = Process().Instance;
  if (!engine || !engine->OnSaving) return 0;
  bool continueWork = true;
  engine->OnSaving(*engine, percent, "Saving Video...", continueWork);
  return continueWork ? 0 : -1;
}

}  // namespace orvenna
