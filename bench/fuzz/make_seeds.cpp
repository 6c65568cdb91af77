// Writes the seed files of the two fuzz targets with our own writers: into FOLDER/avi a
// recording as the recorder writes it (8 bits with a colour table, an empty position), a small
// OpenDML file of video and audio in several RIFF segments and a hand-made wave file (the AVI
// library reads those too); into FOLDER/wav wave files as the sound recorder writes them. Each
// comes with a copy cut in the middle and one with a size field spoiled.

#include <cstdio>
#include <cstring>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
#include "platform/avi/AviMuxer.h"
#include "tests/integration/avi/AviTestSupport.h"

using namespace orvenna;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The file, the file cut in the middle, and the file with the 32-bit field at `sizeField` set
// to all ones; named PATH.seed, PATH.cut and PATH.spoiled (the tree ignores *.avi and *.wav).
void WriteWithDamage(const std::string& path, const Bytes& bytes, std::size_t sizeField) {
  avi_test::WriteWholeFile(path + ".seed", bytes);
  avi_test::WriteWholeFile(path + ".cut", Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2));
  Bytes spoiled = bytes;
  if (sizeField + 4 <= spoiled.size()) std::memset(spoiled.data() + sizeField, 0xFF, 4);
  avi_test::WriteWholeFile(path + ".spoiled", spoiled);
}

// A wave file of `frames` sample frames of `format` written as the sound recorder writes one.
Bytes RecordedWave(const WAVEFORMATEX& format, std::size_t frames) {
  TMemoryStream stream;
  {
    TWaveStreamAdapter wave(stream);
    if (!wave.BeginRewrite(format)) std::exit(1);
    Bytes sound(frames * format.nBlockAlign);
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<std::uint8_t>(i * 7);
    if (wave.Write(sound.data(), sound.size()) != static_cast<std::int64_t>(sound.size()) ||
        !wave.EndRewrite()) {
      std::exit(1);
    }
  }
  Bytes bytes(static_cast<std::size_t>(stream.Size()));
  stream.Seek(0, SeekOrigin::Begin);
  stream.Read(bytes.data(), bytes.size());
  return bytes;
}

WAVEFORMATEX Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  const auto align = static_cast<std::uint16_t>(channels * bits / 8);
  return WAVEFORMATEX{1, channels, rate, rate * align, align, bits, 0};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/avi/";
  const std::string waveFolder = std::string(argv[1]) + "/wav/";
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
  WriteWithDamage(folder + "tone.wav", wav, 16);
  for (const char* name : {"recording.avi", "opendml.avi"}) {
    // The size of the stream list's first chunk (the main header's lies at 28).
    WriteWithDamage(folder + name, files.Contents(name), 28);
  }

  WriteWithDamage(waveFolder + "mono8.wav", RecordedWave(Pcm(1, 8000, 8), 801), 42);
  WriteWithDamage(waveFolder + "stereo16.wav", RecordedWave(Pcm(2, 22050, 16), 500), 16);
  WriteWithDamage(waveFolder + "mono16.wav", RecordedWave(Pcm(1, 11025, 16), 300), 4);
  WriteWithDamage(waveFolder + "stereo8.wav", RecordedWave(Pcm(2, 44100, 8), 0), 34);
  return 0;
}
