#include <map>

#include "engine/Vistrel.h"
#include "platform/ThreadPriority.h"

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

}  // namespace

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
  lastSaveResult_ = AVIERR_OK;
  if (!DeleteTempFile(fileName)) {
    RaiseError("Can not delete existing video file.");
    lastSaveResult_ = AVIERR_FILEOPEN;
    return false;
  }
  platform_.shell.PushBusyCursor();
  AVICOMPRESSOPTIONS* options[2] = {nullptr, nullptr};
  lastSaveResult_ = AVISaveV(platform_.files, fileName, SaveProgressCallback, count, streams, options);
  platform_.shell.PopCursor();
  if (lastSaveResult_ == AVIERR_OK) return true;
  RaiseError(SaveErrorText(lastSaveResult_));
  return false;
}

std::int32_t TVistrel::SaveProgressCallback(int percent) {
  TVistrel* engine = Process().Instance;
  if (!engine || !engine->OnSaving) return 0;
  bool continueWork = true;
  engine->OnSaving(*engine, percent, "Saving Video...", continueWork);
  return continueWork ? 0 : -1;
}

void TVistrel::AssembleRecording(const std::string& fileName) {
  ProcessState& process = Process();
  PAVISTREAM streams[2];
  OpenAVIStream(process.VideoTempFile, streams[0]);
  if (UseAudioRecord()) OpenAVIStream(process.AudioTempFile, streams[1]);
  const int count = streams[1] ? 2 : 1;
  bool attempted = false;
  if (streams[0] || streams[1]) {
    attempted = true;
    process.SaveSucceeded = SaveAVIFile(fileName, count, streams);
  }
  if (streams[0]) AVIStreamRelease(streams[0]);
  if (streams[1]) AVIStreamRelease(streams[1]);
  if (attempted && !process.SaveSucceeded && lastSaveResult_ != AVIERR_USERABORT) {
    KeepRecording(fileName);
  }
}

// A save that failed for any reason but the user's cancel must not lose the recording: the
// temporary files move next to the target (or stay in the temporary folder when the target's
// folder refuses them) under names that say what they are, and the user is told where.
void TVistrel::KeepRecording(const std::string& fileName) {
  ProcessState& process = Process();
  Files& files = platform_.files;
  const std::string base = WithoutAviEnding(fileName);
  const std::string tempBase = platform_.files.TempFolder() + FileNameOf(base);
  std::vector<std::string> kept;
  const auto keep = [&](const std::string& from, const std::string& ending) {
    if (!files.Exists(from)) return;
    for (const std::string& to : {base + ending, tempBase + ending}) {
      if (files.Rename(from, to)) {
        kept.push_back(to);
        return;
      }
    }
  };
  keep(process.VideoTempFile, ".recovered.avi");
  if (UseAudioRecord()) keep(process.AudioTempFile, ".recovered.wav");
  if (kept.empty()) return;
  std::string message = "The recording was kept in ";
  for (std::size_t i = 0; i < kept.size(); ++i) message += (i ? " and " : "") + kept[i];
  RaiseError(message + ".");
}

void TVistrel::RunRecordThread() {
  ProcessState& process = Process();
  workerThreadId_.Set(CurrentThreadId());
  ApplyPriorityToWorker();
  process.SaveSucceeded = false;
  while (RunSession(process.TargetFileName) == -1) {
  }
  if (process.SaveSucceeded && OnSaving) {
    bool ignored = true;
    OnSaving(*this, 100, "Saving Success...", ignored);
  }
  DeleteTempFile(process.VideoTempFile);
  DeleteTempFile(process.AudioTempFile);
  sessionGrab_.reset();
  workerDone_.Set(true);
  OnUiThread([this] { OnRecordThreadEnded(); });
}

void TVistrel::OnRecordThreadEnded() {
  recording_.Set(false);
  if (sessionThread_.joinable()) sessionThread_.join();
}

}  // namespace orvenna
