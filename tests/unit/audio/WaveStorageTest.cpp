// Wave files over byte streams: the bytes written, the files read, sequential access, failing
// streams, files on disk and the editing operations.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

#include "audio/WaveStorage.h"
#include "audio/WaveUtils.h"
#include "platform/PosixFiles.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {
namespace {

using Bytes = std::vector<std::uint8_t>;

WAVEFORMATEX Standard(TPCMFormat value) {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, value);
  return format;
}

const WAVEFORMATEX kMono8 = Standard(TPCMFormat::Mono8Bit8000Hz);  // 8 bytes per millisecond
const WAVEFORMATEX kMono16 = Standard(TPCMFormat::Mono16bit8000Hz);

std::uint32_t U32At(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutU32(Bytes& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::string TextAt(const Bytes& bytes, std::size_t at) {
  return std::string(reinterpret_cast<const char*>(bytes.data()) + at, 4);
}

Bytes Contents(TStream& stream) {
  Bytes bytes(static_cast<std::size_t>(stream.Size()));
  stream.Seek(0, SeekOrigin::Begin);
  EXPECT_EQ(stream.Read(bytes.data(), bytes.size()), stream.Size());
  return bytes;
}

void Fill(TStream& stream, const Bytes& bytes) {
  stream.SetSize(0);
  stream.Seek(0, SeekOrigin::Begin);
  stream.Write(bytes.data(), bytes.size());
}

Bytes Ramp(std::size_t size, std::uint8_t first = 0) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

void Record(TWaveStreamAdapter& wave, const WAVEFORMATEX& format, const Bytes& sound) {
  ASSERT_TRUE(wave.BeginRewrite(format));
  ASSERT_EQ(wave.Write(sound.data(), sound.size()), static_cast<std::int64_t>(sound.size()));
  ASSERT_TRUE(wave.EndRewrite());
}

Bytes SoundOf(TWaveStreamAdapter& wave) {
  TWaveData data;
  if (!wave.LockData(data, true)) return {};
  const Bytes sound(data.Bytes().begin(), data.Bytes().end());
  wave.UnlockData(data, false);
  return sound;
}

// A RIFF file of form `form` holding these chunks, each padded to an even length.
Bytes Riff(const std::vector<std::pair<std::string, Bytes>>& chunks, const char* form = "WAVE") {
  Bytes body(form, form + 4);
  for (const auto& [id, data] : chunks) {
    body.insert(body.end(), id.begin(), id.end());
    PutU32(body, static_cast<std::uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) body.push_back(0);
  }
  Bytes file = {'R', 'I', 'F', 'F'};
  PutU32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

Bytes RecordBytes(const WAVEFORMATEX& format, std::size_t size) {
  Bytes bytes(sizeof format);
  std::memcpy(bytes.data(), &format, sizeof format);
  bytes.resize(size);
  return bytes;
}

TEST(WaveFile, BytesOfANewRecording) {
  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  ASSERT_TRUE(wave.BeginRewrite(kMono16));
  const Bytes sound = Ramp(16000);
  for (std::size_t at = 0; at < sound.size(); at += 1600) {
    ASSERT_EQ(wave.Write(sound.data() + at, 1600), 1600);
  }
  ASSERT_TRUE(wave.EndRewrite());
  EXPECT_EQ(wave.Length(), 1000u);

  const Bytes file = Contents(stream);
  ASSERT_EQ(file.size(), 16046u);
  EXPECT_EQ(TextAt(file, 0) + TextAt(file, 8) + TextAt(file, 12) + TextAt(file, 38),
            "RIFFWAVEfmt data");
  EXPECT_EQ(U32At(file, 4), 16038u);
  EXPECT_EQ(U32At(file, 16), 18u);
  const Bytes record = {0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x80,
                        0x3E, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 0x00, 0x00};
  EXPECT_EQ(Bytes(file.begin() + 20, file.begin() + 38), record);
  EXPECT_EQ(U32At(file, 42), 16000u);
  EXPECT_EQ(Bytes(file.begin() + 46, file.end()), sound);
}

// An odd amount of sound keeps its pad byte, so that the file ends where its RIFF size says.
TEST(WaveFile, SizesAndLengthAgreeForAnyAmountOfSound) {
  struct Case {
    std::size_t sound;
    std::uint32_t riffSize, fileLength;
  };
  for (const Case& c :
       {Case{0, 38, 46}, Case{1, 40, 48}, Case{8000, 8038, 8046}, Case{8001, 8040, 8048}}) {
    SCOPED_TRACE(c.sound);
    TMemoryStream stream;
    TWaveStreamAdapter wave(stream);
    Record(wave, kMono8, Bytes(c.sound, 0x99));
    EXPECT_EQ(wave.DataSize(), c.sound);
    const Bytes file = Contents(stream);
    EXPECT_EQ(U32At(file, 4), c.riffSize);
    EXPECT_EQ(U32At(file, 42), c.sound);
    ASSERT_EQ(file.size(), c.fileLength);
    EXPECT_EQ(file.back(), c.sound % 2 != 0 ? 0 : file.back());
  }
}

TEST(WaveFile, WhatTheReaderAccepts) {
  WAVEFORMATEX extended = kMono8;
  extended.cbSize = 2;
  WAVEFORMATEX odd = kMono8;
  odd.cbSize = 1;
  const Bytes sound = Ramp(6);
  struct Case {
    const char* what;
    Bytes file;
    std::uint32_t dataOffset;  // 0: not valid
  };
  const Case cases[] = {
      {"a 16-byte record", Riff({{"fmt ", RecordBytes(kMono8, 16)}, {"data", sound}}), 44},
      {"a 14-byte record", Riff({{"fmt ", RecordBytes(kMono8, 14)}, {"data", sound}}), 42},
      {"a 12-byte record", Riff({{"fmt ", RecordBytes(kMono8, 12)}, {"data", sound}}), 0},
      {"extra bytes beyond the chunk", Riff({{"fmt ", RecordBytes(extended, 19)}, {"data", sound}}),
       0},
      {"extra bytes in the chunk", Riff({{"fmt ", RecordBytes(extended, 20)}, {"data", sound}}),
       48},
      {"an odd record and its pad", Riff({{"fmt ", RecordBytes(odd, 19)}, {"data", sound}}), 48},
      {"other chunks",
       Riff({{"LIST", Bytes(5, 1)},
             {"fmt ", RecordBytes(kMono8, 18)},
             {"junk", Bytes(3)},
             {"data", sound}}),
       72},
      {"data before fmt", Riff({{"data", sound}, {"fmt ", RecordBytes(kMono8, 18)}}), 0},
      {"no data", Riff({{"fmt ", RecordBytes(kMono8, 18)}}), 0},
      {"another form", Riff({{"fmt ", RecordBytes(kMono8, 18)}, {"data", sound}}, "AVI "), 0},
      {"nothing", {}, 0},
      {"garbage", Bytes(100, 0x5A), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream stream;
    Fill(stream, c.file);
    TWaveStreamAdapter wave(stream);
    const bool valid = c.dataOffset != 0;
    EXPECT_EQ(wave.Valid(), valid);
    EXPECT_EQ(wave.DataOffset(), c.dataOffset);
    EXPECT_EQ(wave.DataSize(), valid ? sound.size() : 0u);
    EXPECT_EQ(wave.Length(), valid ? 1u : 0u);
    EXPECT_EQ(wave.WaveFormat() != nullptr, valid);
    EXPECT_EQ(wave.BeginRead(), valid);
    EXPECT_EQ(SoundOf(wave), valid ? sound : Bytes());
  }
  // A 16-byte record is completed with a cbSize of 0.
  TMemoryStream stream;
  Fill(stream, cases[0].file);
  EXPECT_TRUE(TWaveStreamAdapter(stream).SameFormat(&kMono8));
}

TEST(WaveFile, ACutFileReportsWhatItsDataChunkClaims) {
  TMemoryStream stream;
  TWaveStreamAdapter writer(stream);
  Record(writer, kMono16, Ramp(16000));
  stream.SetSize(46 + 6000);
  TWaveStreamAdapter wave(stream);
  EXPECT_EQ(wave.DataSize(), 16000u);
  EXPECT_EQ(wave.Length(), 1000u);
  TWaveData data;
  EXPECT_FALSE(wave.LockData(data, false));
  EXPECT_FALSE(wave.LockData(data, true));
  ASSERT_TRUE(wave.BeginRead());  // what is there can still be read
  Bytes read(20000);
  EXPECT_EQ(wave.Read(read.data(), read.size()), 6000);
}

TEST(WaveFile, ChangeEventsOncePerSeries) {
  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  int changing = 0;
  int changed = 0;
  wave.OnChanging = [&](TWaveStreamAdapter& sender) { changing += &sender == &wave ? 1 : 100; };
  wave.OnChange = [&](TWaveStreamAdapter&) { ++changed; };
  Record(wave, kMono8, Ramp(80));  // starts out of date: no OnChanging; its end parses once
  EXPECT_EQ(changing + changed * 10, 10);
  wave.Changing();
  wave.Changing();
  wave.Clear();  // raises OnChange itself
  EXPECT_EQ(changing + changed * 10, 21);
  EXPECT_FALSE(wave.Valid());  // the query parses
  EXPECT_EQ(wave.DataSize(), 0u);
  EXPECT_EQ(changing + changed * 10, 31);
  ASSERT_TRUE(wave.BeginRewrite(kMono8));
  EXPECT_EQ(wave.DataSize(), 0u);  // nothing is parsed while writing
  EXPECT_EQ(changing + changed * 10, 32);
  ASSERT_TRUE(wave.EndRewrite());
  wave.Refresh();
  EXPECT_TRUE(wave.Valid());
  EXPECT_EQ(changing + changed * 10, 52);
}

TEST(WaveFile, SequentialAccessKeepsToItsState) {
  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  Bytes read(50);
  EXPECT_EQ(wave.Write(read.data(), 1), -1);
  EXPECT_FALSE(wave.EndRewrite());
  EXPECT_FALSE(wave.BeginRead());  // an empty stream is no wave file
  Record(wave, kMono8, Ramp(80));

  ASSERT_TRUE(wave.BeginRead());
  EXPECT_FALSE(wave.BeginRewrite(kMono16) || wave.BeginRead());
  EXPECT_EQ(wave.Read(read.data(), 50), 50);
  stream.Seek(3, SeekOrigin::Begin);  // another user of the stream moves it
  EXPECT_EQ(wave.Read(read.data(), 50), 30);
  EXPECT_EQ(Bytes(read.begin(), read.begin() + 30), Ramp(30, 50));
  EXPECT_EQ(wave.Read(read.data(), 50), 0);
  EXPECT_TRUE(wave.EndRead());
  EXPECT_FALSE(wave.EndRead());

  ASSERT_TRUE(wave.BeginRewrite(kMono16));
  EXPECT_FALSE(wave.BeginRewrite(kMono8) || wave.BeginRead());
  EXPECT_EQ(wave.Read(read.data(), 1), -1);
  wave.Crop();  // not while writing
  EXPECT_EQ(stream.Size(), 46);
}

TEST(WaveFile, DestroyingTheAdapterEndsTheRecording) {
  TMemoryStream stream;
  {
    TWaveStreamAdapter wave(stream);
    ASSERT_TRUE(wave.BeginRewrite(kMono8));
    ASSERT_EQ(wave.Write(Ramp(3).data(), 3), 3);
  }
  EXPECT_EQ(TWaveStreamAdapter(stream).DataSize(), 3u);
  EXPECT_EQ(stream.Size(), 50);
}

// A memory stream that counts its calls, takes at most `capacity` bytes and may throw instead.
class TestStream : public TStream {
 public:
  std::int64_t Read(void* data, std::size_t count) override { return memory.Read(data, count); }
  std::int64_t Write(const void* data, std::size_t count) override {
    ++writes;
    if (throws) throw std::runtime_error("broken");
    const std::int64_t room = std::max<std::int64_t>(capacity - memory.Position(), 0);
    return room == 0 ? -1 : memory.Write(data, std::min<std::size_t>(count, room));
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    ++seeks;
    return memory.Seek(offset, origin);
  }
  std::int64_t Size() override { return memory.Size(); }
  bool SetSize(std::int64_t size) override { return memory.SetSize(size); }

  TMemoryStream memory;
  std::int64_t capacity = std::numeric_limits<std::int64_t>::max();
  bool throws = false;
  int seeks = 0;
  int writes = 0;
};

// Each Write is one seek and one write on the stream; a full or broken stream shortens it.
TEST(WaveFile, WritesAreCheapAndNeverThrow) {
  TestStream stream;
  stream.capacity = 46 + 150;
  TWaveStreamAdapter wave(stream);
  ASSERT_TRUE(wave.BeginRewrite(kMono8));
  stream.seeks = stream.writes = 0;
  EXPECT_EQ(wave.Write(Ramp(100).data(), 100), 100);
  EXPECT_EQ(wave.Write(Ramp(100).data(), 100), 50);
  EXPECT_EQ(stream.seeks + stream.writes * 10, 22);
  EXPECT_EQ(wave.Write(Ramp(100).data(), 100), -1);
  EXPECT_TRUE(wave.EndRewrite());  // the sizes fit in the file as it is
  EXPECT_EQ(wave.DataSize(), 150u);
  EXPECT_EQ(U32At(Contents(stream.memory), 4), 188u);

  ASSERT_TRUE(wave.BeginRewrite(kMono8));
  stream.throws = true;
  EXPECT_EQ(wave.Write(Ramp(10).data(), 10), -1);
  EXPECT_FALSE(wave.EndRewrite());
  stream.throws = false;
  stream.capacity = 20;
  EXPECT_FALSE(wave.BeginRewrite(kMono8));  // the header does not fit
  EXPECT_EQ(wave.State(), TWaveStreamState::None);
}

// A disk that fills in the middle of a sample frame: the data ends with the last whole frame,
// and the file where its sizes say.
TEST(WaveFile, AWriteCutShortEndsOnAWholeSampleFrame) {
  const WAVEFORMATEX stereo16 = Standard(TPCMFormat::Stereo16bit44100Hz);
  TestStream stream;
  stream.capacity = 46 + 4050;
  TWaveStreamAdapter wave(stream);
  ASSERT_TRUE(wave.BeginRewrite(stereo16));
  EXPECT_EQ(wave.Write(Ramp(4096).data(), 4096), 4050);
  EXPECT_TRUE(wave.EndRewrite());
  EXPECT_EQ(wave.DataSize(), 4048u);
  EXPECT_EQ(U32At(Contents(stream.memory), 4), 38u + 4048u);
  EXPECT_EQ(stream.Size(), 46 + 4048);
}

TEST(WaveData, LockedInPlaceInMemoryOrCopied) {
  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  TWaveData data;
  Record(wave, kMono8, Bytes());
  EXPECT_FALSE(wave.LockData(data, false));  // no sound
  EXPECT_FALSE(wave.UnlockData(data, true));
  Record(wave, kMono8, Ramp(80));

  ASSERT_TRUE(wave.LockData(data, false));
  EXPECT_EQ(data.Bytes().data(), stream.Memory() + 46);
  EXPECT_EQ(data.Bytes().size(), 80u);
  EXPECT_TRUE(wave.UnlockData(data, true));
  EXPECT_TRUE(data.Bytes().empty());

  for (const bool writeBack : {false, true}) {
    ASSERT_TRUE(wave.LockData(data, true));
    EXPECT_NE(data.Bytes().data(), stream.Memory() + 46);
    data.Bytes()[0] = 0xEE;
    EXPECT_TRUE(wave.UnlockData(data, writeBack));
    EXPECT_EQ(stream.Memory()[46], writeBack ? 0xEE : 0);
  }
}

TEST(WaveData, LoadSaveAssignCompareAndCrop) {
  TMemoryStream first;
  TWaveStreamAdapter wave(first);
  Record(wave, kMono8, Ramp(7));
  TMemoryStream copyStream;
  TWaveStreamAdapter copy(copyStream);
  EXPECT_TRUE(copy.Assign(wave));
  EXPECT_EQ(Contents(copyStream), Contents(first));

  TMemoryStream target;
  target.Write("ab", 2);
  EXPECT_TRUE(wave.SaveToStream(target));
  target.Seek(2, SeekOrigin::Begin);  // loading takes the bytes from the source's position on
  EXPECT_TRUE(copy.LoadFromStream(target));
  EXPECT_TRUE(copy.Equals(wave));
  Record(copy, kMono8, Ramp(7, 1));
  EXPECT_TRUE(copy.SameFormatAs(wave));
  EXPECT_FALSE(copy.Equals(wave));
  Record(copy, kMono16, Ramp(7));
  EXPECT_FALSE(copy.SameFormatAs(wave));

  first.Seek(0, SeekOrigin::End);
  first.Write("trailing", 8);
  wave.Crop();  // the pad byte of the 7 sound bytes stays
  EXPECT_EQ(first.Size(), 46 + 8);
  TMemoryStream empty;
  EXPECT_FALSE(wave.LoadFromStream(empty));
  Fill(first, Bytes(100, 7));
  wave.Refresh();
  wave.Crop();  // not a wave file: left alone
  EXPECT_EQ(first.Size(), 100);
}

// A private folder, removed with what it holds, and the files of a temporary folder in it.
class TempFolder {
 public:
  TempFolder() : path_(MadeFolder()), files(path_) {}
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::string Path(const char* name) { return files.TempFolder() + name; }

 private:
  static std::string MadeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wave-test-XXXXXX").string();
    return mkdtemp(pattern.data());
  }

  std::string path_;

 public:
  PosixFiles files;
};

TEST(WaveFileOnDisk, RecordedSavedAndLoaded) {
  TempFolder folder;
  const std::string recorded = folder.Path("recorded.wav");
  {
    TWaveStreamAdapter wave(TFileStream::Create(folder.files, recorded));
    Record(wave, kMono8, Ramp(8001));
    EXPECT_TRUE(wave.Invert());  // the copy edited is written back
  }
  EXPECT_EQ(std::filesystem::file_size(recorded), 8048u);
  struct stat status {};
  ASSERT_EQ(stat(recorded.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  EXPECT_TRUE(wave.LoadFromFile(folder.files, recorded));
  Bytes reversed = Ramp(8001);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_EQ(SoundOf(wave), reversed);
  const std::string saved = folder.Path("saved.wav");
  wave.SaveToFile(folder.files, saved);
  EXPECT_EQ(std::filesystem::file_size(saved), 8048u);
  TFileStream::Create(folder.files, saved);  // creating empties the file
  EXPECT_EQ(std::filesystem::file_size(saved), 0u);
}

TEST(WaveFileOnDisk, FilesThatCannotBeHadRaiseANamedError) {
  TempFolder folder;
  const std::string target = folder.Path("target.wav");
  const std::string link = folder.Path("link.wav");
  const auto writer = TFileStream::Create(folder.files, target);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  TMemoryStream stream;
  TWaveStreamAdapter wave(stream);
  const std::string missing = folder.Path("missing.wav");
  try {
    wave.LoadFromFile(folder.files, missing);
    ADD_FAILURE() << "no error";
  } catch (const EWaveAudioError& error) {
    EXPECT_EQ(error.what(), "Cannot open file \"" + missing + "\": No such file or directory");
  }
  EXPECT_THROW(wave.SaveToFile(folder.files, link), EWaveAudioError);  // never through a link
  // A file that another writer holds is neither read nor created over.
  EXPECT_THROW(wave.LoadFromFile(folder.files, target), EWaveAudioError);
  EXPECT_THROW(TFileStream::Create(folder.files, target), EWaveAudioError);
}

class WaveEditing : public ::testing::Test {
 protected:
  // Part of the 80 bytes (10 ms) of sound each case starts from.
  static Bytes Part(std::size_t begin, std::size_t end) {
    return Ramp(end - begin, static_cast<std::uint8_t>(begin));
  }
  static Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
  }
  TWaveStreamAdapter& Other(const Bytes& sound, const WAVEFORMATEX& format = kMono8) {
    Record(other_, format, sound);
    return other_;
  }

  TMemoryStream stream_;
  TWaveStreamAdapter wave_{stream_};
  TMemoryStream otherStream_;
  TWaveStreamAdapter other_{otherStream_};
  PcmResamplingConverter converter_;
};

TEST_F(WaveEditing, RangesAreKeptRemovedOrInserted) {
  using Edit = bool (*)(TWaveStreamAdapter&, TWaveStreamAdapter&);
  struct Case {
    const char* what;
    Edit edit;
    bool result;
    Bytes sound;
  };
  const Bytes other(10, 0xAA);
  Bytes reversed = Part(0, 80);
  std::reverse(reversed.begin(), reversed.end());
  const Case cases[] = {
      {"keep", [](auto& w, auto&) { return w.KeepRange(2, 3); }, true, Part(16, 40)},
      {"keep to the end", [](auto& w, auto&) { return w.KeepRange(8, 100); }, true, Part(64, 80)},
      {"keep beyond the end", [](auto& w, auto&) { return w.KeepRange(10, 1); }, false,
       Part(0, 80)},
      {"keep nothing", [](auto& w, auto&) { return w.KeepRange(1, 0); }, false, Part(0, 80)},
      {"delete", [](auto& w, auto&) { return w.Delete(2, 3); }, true,
       Join({Part(0, 16), Part(40, 80)})},
      {"delete to the end", [](auto& w, auto&) { return w.Delete(8, 100); }, true, Part(0, 64)},
      {"delete from start", [](auto& w, auto&) { return w.DeleteFromStart(2); }, true,
       Part(16, 80)},
      {"delete from end", [](auto& w, auto&) { return w.DeleteFromEnd(3); }, true, Part(0, 56)},
      {"delete all", [](auto& w, auto&) { return w.DeleteFromEnd(100); }, true, Bytes()},
      {"insert", [](auto& w, auto& o) { return w.Insert(1, o); }, true,
       Join({Part(0, 8), other, Part(8, 80)})},
      {"insert past the end", [](auto& w, auto& o) { return w.Insert(500, o); }, true,
       Join({Part(0, 80), other})},
      {"insert silence", [](auto& w, auto&) { return w.InsertSilence(1, 1); }, true,
       Join({Part(0, 8), Bytes(8, 127), Part(8, 80)})},
      {"insert no silence", [](auto& w, auto&) { return w.InsertSilence(1, 0); }, false,
       Part(0, 80)},
      {"copy from", [](auto& w, auto& o) { return w.CopyFrom(o, 0, 1); }, true, Bytes(8, 0xAA)},
      {"invert", [](auto& w, auto&) { return w.Invert(); }, true, reversed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Record(wave_, kMono8, Part(0, 80));
    EXPECT_EQ(c.edit(wave_, Other(other)), c.result);
    EXPECT_TRUE(wave_.Valid());
    EXPECT_EQ(SoundOf(wave_), c.sound);
  }
  EXPECT_FALSE(wave_.Insert(0, Other(Bytes(4), kMono16)));
}

TEST_F(WaveEditing, WavesAreJoinedAndMixed) {
  Record(wave_, kMono8, Part(0, 16));
  TWaveStreamAdapter* twice[] = {&wave_, &Other(Bytes(8, 0xBB)), &wave_};  // itself twice
  EXPECT_TRUE(wave_.Concat(twice, 1));
  EXPECT_EQ(SoundOf(wave_),
            Join({Part(0, 16), Bytes(8, 127), Bytes(8, 0xBB), Bytes(8, 127), Part(0, 16)}));
  Record(wave_, kMono8, Part(0, 16));
  TMemoryStream emptyStream;
  TWaveStreamAdapter empty(emptyStream);
  TWaveStreamAdapter* withEmpty[] = {&wave_, &empty};
  EXPECT_FALSE(wave_.Concat(withEmpty, 0));
  EXPECT_EQ(SoundOf(wave_), Part(0, 16));  // left as it was

  Record(wave_, kMono8, {200, 100, 50});
  TWaveStreamAdapter* mixed[] = {&wave_, &Other({100})};
  EXPECT_TRUE(wave_.Mix(mixed));
  EXPECT_EQ(SoundOf(wave_), (Bytes{150, 114, 89}));
  Other({1, 2}, kMono16);
  EXPECT_FALSE(wave_.Mix(mixed) || wave_.Mix({}) || wave_.Concat({}, 0));
}

TEST_F(WaveEditing, VolumeAndConversion) {
  Record(wave_, kMono8, {128, 192, 64});
  EXPECT_TRUE(wave_.ChangeVolume(-50));
  EXPECT_EQ(SoundOf(wave_), (Bytes{128, 160, 96}));

  Record(wave_, kMono16, Bytes(16000));
  EXPECT_TRUE(wave_.ConvertTo(kMono16, converter_));  // already in that format
  EXPECT_TRUE(wave_.ConvertTo(Standard(TPCMFormat::Stereo8bit22050Hz), converter_));
  EXPECT_EQ(wave_.Length(), 1000u);
  EXPECT_EQ(SoundOf(wave_), Bytes(44100, 128));
  WAVEFORMATEX adpcm = kMono16;
  adpcm.wFormatTag = 17;
  EXPECT_FALSE(wave_.ConvertTo(adpcm, converter_));
  EXPECT_EQ(wave_.DataSize(), 44100u);

  // A record read from a file whose channels times bits overflow an int: refused as it is.
  TMemoryStream stream;
  WAVEFORMATEX wide = kMono16;
  wide.nChannels = 55568;
  wide.wBitsPerSample = 65527;
  wide.nBlockAlign = 65534;
  Fill(stream, Riff({{"fmt ", RecordBytes(wide, 18)}, {"data", Bytes(400, 1)}}));
  TWaveStreamAdapter hostile(stream);
  ASSERT_TRUE(hostile.Valid());
  EXPECT_FALSE(hostile.ConvertTo(kMono8, converter_));
  EXPECT_EQ(hostile.DataSize(), 400u);

  wave_.Clear();
  EXPECT_FALSE(wave_.Invert() || wave_.ChangeVolume(10) || wave_.ConvertTo(kMono16, converter_));
}

}  // namespace
}  // namespace orvenna
