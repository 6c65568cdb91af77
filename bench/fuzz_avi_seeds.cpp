// Writes seed files for fuzz_avi_reader into the folder given as the argument: a recording as
// the recorder writes it (8 bits with a colour table, an empty position), a small OpenDML file
// of video and audio in several RIFF segments, and a wave file.

#include <cstdio>
#include <cstring>

#include "platform/avi/AviMuxer.h"
#include "tests/integration/avi/AviTestSupport.h"

using namespace orvenna;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  avi_test::MemoryFiles files;
  avi_test::TestCodecs codecs;

  const auto palette = avi_test::MakeFormat(8, 6, 8);
  std::vector<std::pair<int, std::vector<std::uint8_t>>> frames;
  for (int position : {0, 1, 3})
    frames.emplace_back(position, avi_test::MakeFrame(palette, position));
  if (avi_test::WriteVideo(files, "recording.avi", codecs, avi_test::TestCodecs::kPass, 10, palette,
                           frames) != AVIERR_OK) {
    return 1;
  }

  const auto format = avi_test::MakeFormat(8, 6, 24);
  const avi::WaveFormat wave{avi::WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16};
  std::vector<std::uint8_t> waveFormat(sizeof(wave));
  std::memcpy(waveFormat.data(), &wave, sizeof(wave));
  AVISTREAMINFOA audio;
  audio.fccType = streamtypeAUDIO;
  audio.dwScale = 2;
  audio.dwRate = 16000;
  audio.dwSampleSize = 2;
  {
    auto file = files.Open("opendml.avi", OpenMode::Create);
    if (!file) return 1;
    avi::AviMuxer muxer(*file, {{avi_test::VideoInfo(0, 10, format), format}, {audio, waveFormat}},
                        400);
    const auto frame = avi_test::MakeFrame(format, 1);
    const std::vector<std::uint8_t> sound(64, 0x11);
    for (int i = 0; i < 6; ++i) {
      if (!muxer.WriteChunk(1, sound.data(), static_cast<std::uint32_t>(sound.size()), true) ||
          !muxer.WriteChunk(0, frame.data(), static_cast<std::uint32_t>(frame.size()),
                            i % 3 == 0) ||
          !muxer.WriteEmptyChunks(0, i % 2)) {
        return 1;
      }
    }
    if (!muxer.Finish()) return 1;
  }

  std::vector<std::uint8_t> wav = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                   'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
  wav.insert(wav.end(), waveFormat.begin(), waveFormat.end());
  const std::uint8_t dataHeader[] = {'d', 'a', 't', 'a', 40, 0, 0, 0};
  wav.insert(wav.end(), std::begin(dataHeader), std::end(dataHeader));
  wav.resize(wav.size() + 40, 0x22);
  const auto riffSize = static_cast<std::uint32_t>(wav.size() - 8);
  std::memcpy(wav.data() + 4, &riffSize, 4);
  avi_test::WriteWholeFile(folder + "tone.wav", wav);
  for (const char* name : {"recording.avi", "opendml.avi"}) {
    avi_test::WriteWholeFile(folder + name, files.Contents(name));
  }
  return 0;
}
