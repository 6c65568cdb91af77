#include <map>

#include "engine/FreeName.h"
#include "engine/RecordingTrack.h"
#include "engine/Vistrel.h"
#include "platform/Check.h"

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

// "/a/b/Capture.avi" -> "/a/b/Capture"; a name without the .avi ending stays whole.
std::string WithoutAviEnding(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  std::string ending = path.substr(dot);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".avi" ? path.substr(0, dot) : path;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// ".recovered.avi" numbered: ".recovered-2.avi" for 2; the first keeps the ending as it is.
std::string NumberedEnding(const std::string& ending, int number) {
  if (number == 1) return ending;
  const std::size_t dot = ending.rfind('.');
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

}  // namespace

std::string ClaimFreeName(Files& files, const std::string& base, const std::string& ending,
                          const std::function<bool(const std::string&)>& claim) {
  for (int number = 1; number <= kMostNumberedNames; ++number) {
    const std::string to = FittingName(files, base, NumberedEnding(ending, number));
    if (to.empty()) return {};
    if (claim(to)) return to;
    if (!files.Exists(to)) return {};
  }
  return {};
}

std::string MoveToFreeName(Files& files, const std::string& from, const std::string& base,
                           const std::string& ending) {
  return ClaimFreeName(files, base, ending,
                       [&](const std::string& to) { return files.RenameNoReplace(from, to); });
}

void TVistrel::OpenAVIStream(const std::string& path, PAVISTREAM& slot) {
  if (!platform_.files.Exists(path)) return;
  PAVIFILE file;
  const AviResult opened = AVIFileOpen(file, platform_.files, path, OF_READ);
  if (opened != AVIERR_OK) RaiseError(OpenErrorText(opened));
  if (opened != AVIERR_OK || AVIFileGetStream(file, slot, 0, 0) != AVIERR_OK) {
    slot.reset();
    RaiseError("Unable to get stream");
  }
  if (opened == AVIERR_OK) AVIFileRelease(file);
}

bool TVistrel::SaveAVIFile(const std::string& fileName, int count, PAVISTREAM* streams) {
  return SaveStreams(fileName, count, streams) == AVIERR_OK;
}

// The file there before stays as it is until the new one takes its place whole (AVISaveV);
// a file that another program holds is not replaced.
AviResult TVistrel::SaveStreams(const std::string& fileName, int count, PAVISTREAM* streams) {
  Files& files = platform_.files;
  if (files.NameTooLong(fileName)) {
    RaiseError("The file name is too long for the file system: " + fileName);
    return AVIERR_BADPARAM;
  }
  if (files.Exists(fileName) && files.IsLocked(fileName)) {
    const std::string cause = files.WriteProblem(fileName);
    RaiseError("Can not delete existing video file. " + fileName + ": " +
               (cause.empty() ? "another program holds it" : cause) + ".");
    return AVIERR_FILEOPEN;
  }
  platform_.shell.PushBusyCursor();
  AVICOMPRESSOPTIONS* options[2] = {nullptr, nullptr};
  const AviResult result =
      AVISaveV(platform_.files, fileName, SaveProgressCallback, count, streams, options);
  platform_.shell.PopCursor();
  if (result == AVIERR_DISKFULL) {
    RaiseError("The disk holding " + FolderOf(fileName) + " is full: " + fileName +
               " was not written (a file of that name was left as it was).");
  } else if (result == AVIERR_USERABORT) {
    RaiseError(SaveErrorText(result));
  } else if (result != AVIERR_OK) {
    // The file, and what stood in the way where the file system can tell.
    const std::string cause = files.WriteProblem(fileName);
    RaiseError(SaveErrorText(result) + " " + fileName + (cause.empty() ? "" : ": " + cause) + ".");
  }
  return result;
}

std::int32_t TVistrel::SaveProgressCallback(int percent) {
  TVistrel* engine = Process().Instance;
  if (!engine || !engine->OnSaving) return 0;
  bool continueWork = true;
  engine->OnSaving(*engine, percent, "Saving Video...", continueWork);
  return continueWork ? 0 : -1;
}

// Merges the tracks' temporary files into `fileName`, the video first.
void TVistrel::AssembleRecording(const std::string& fileName, const RecordingTracks& tracks) {
  ORVENNA_CHECK(tracks.size() <= 2, "one video and at most one audio track");
  PAVISTREAM streams[2];
  int count = 0;
  for (const auto& track : tracks) {
    OpenAVIStream(track->TempFile(), streams[count]);
    if (streams[count]) ++count;
  }
  if (count == 0) return;
  const AviResult saved = SaveStreams(fileName, count, streams);
  Process().SaveSucceeded = saved == AVIERR_OK;
  for (int i = 0; i < count; ++i) AVIStreamRelease(streams[i]);
  if (saved != AVIERR_OK && saved != AVIERR_USERABORT) KeepRecording(fileName, tracks);
}

// A save that failed for any reason but the user's cancel must not lose the recording: the
// temporary files move next to the target (or stay in the temporary folder when the target's
// folder refuses them) under free names that say what they are, shortened where the file
// system wants shorter names, and the user is told where.
void TVistrel::KeepRecording(const std::string& fileName, const RecordingTracks& tracks) {
  Files& files = platform_.files;
  const std::string base = WithoutAviEnding(fileName);
  const std::string tempBase = files.TempFolder() + FileNameOf(base);
  std::vector<std::string> kept;
  for (const auto& track : tracks) {
    if (!files.Exists(track->TempFile())) continue;
    for (const std::string& folderBase : {base, tempBase}) {
      const std::string to =
          MoveToFreeName(files, track->TempFile(), folderBase, track->KeptFileEnding());
      if (!to.empty()) {
        kept.push_back(to);
        break;
      }
    }
  }
  if (kept.empty()) return;
  std::string message = "The recording was kept in ";
  for (std::size_t i = 0; i < kept.size(); ++i) message += (i ? " and " : "") + kept[i];
  RaiseError(message + ".");
}

}  // namespace orvenna
