#pragma once

// A byte stream seen as a RIFF WAVE file: its header parsed lazily, a new file written chunk by
// chunk while sound arrives, sequential reading of the sound, and whole-file editing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/ByteStream.h"
#include "audio/RiffFile.h"
#include "platform/AudioConverter.h"
#include "platform/WaveFormat.h"

namespace orvenna {

enum class TWaveStreamState : std::uint8_t { None, Reading, Writing };

// Sound bytes handed out by TWaveStreamAdapter::LockData: a view straight into a memory
// stream, or a copy held here. Move-only, so a copy keeps its address.
class TWaveData {
 public:
  TWaveData() = default;
  TWaveData(TWaveData&&) = default;
  TWaveData& operator=(TWaveData&&) = default;
  TWaveData(const TWaveData&) = delete;
  TWaveData& operator=(const TWaveData&) = delete;

  std::span<std::uint8_t> Bytes() const { return bytes_; }

 private:
  friend class TWaveStreamAdapter;
  std::span<std::uint8_t> bytes_;
  std::vector<std::uint8_t> copy_;
};

// The file as written: "RIFF" <size> "WAVE", "fmt " <L> <the format record, cbSize extra bytes
// included> [pad], "data" <N> <the sound> [pad]; sizes little-endian, each chunk padded to an
// even length. Reading takes the first RIFF form of type "WAVE", its first "fmt " chunk (at
// least 14 bytes; a shorter record is completed with zeros to 18 bytes) and the first "data"
// chunk after it.
//
// Format records passed in by reference are followed in memory by their cbSize extra bytes, as
// the records this class hands out are. No lock: the calls of one writer (BeginRewrite, Write,
// EndRewrite) or one reader may come from different threads, one at a time.
class TWaveStreamAdapter {
 public:
  using TEvent = std::function<void(TWaveStreamAdapter&)>;

  // Presents `stream`, which must outlive the adapter.
  explicit TWaveStreamAdapter(TStream& stream);
  // Presents `stream` and owns it.
  explicit TWaveStreamAdapter(std::unique_ptr<TStream> stream);
  // Ends a sequential read or write that is still open.
  ~TWaveStreamAdapter();
  TWaveStreamAdapter(const TWaveStreamAdapter&) = delete;
  TWaveStreamAdapter& operator=(const TWaveStreamAdapter&) = delete;

  // Parses the header when something changed since the last parse (not while writing) and
  // raises OnChange; whether the stream holds a wave file.
  bool UpdateDetails();
  // The sound bytes in memory: a view into a memory stream's memory when `forceCopy` is false
  // and the sound lies wholly in it, else a copy read from the stream. False (and `data` empty)
  // when not valid, when there is no sound or when it cannot be read whole.
  bool LockData(TWaveData& data, bool forceCopy);
  // Releases what LockData gave: a copy is written back first when `writeBack` (false when not
  // all of it could be). False when `data` came from no LockData of this adapter.
  bool UnlockData(TWaveData& data, bool writeBack);
  // Bytes of `milliseconds` in the file's format, whole sample frames; 0 when not valid.
  std::uint32_t MsToBytes(std::uint32_t milliseconds);

  // Marks the parsed details out of date: raises OnChanging once per series of changes, until
  // the next query parses again.
  void Changing();
  // Raises OnChange.
  void Change();

  // Same format, same amount of sound and the same sound bytes.
  bool Equals(TWaveStreamAdapter& wave);
  bool SameFormatAs(TWaveStreamAdapter& wave);
  // Valid, `format` given, and its first 18 + cbSize bytes equal to the file's.
  bool SameFormat(const WAVEFORMATEX* format);
  // Loads a copy of `source`'s whole file.
  bool Assign(TWaveStreamAdapter& source);

  // Replaces the stream's content by the bytes of `source` from its position; whether they
  // make a wave file. Ends a sequential read or write.
  bool LoadFromStream(TStream& source);
  // Copies the whole stream to `target`'s position; false when not all of it could be.
  bool SaveToStream(TStream& target);
  // Throw EWaveAudioError when the file cannot be opened or created, or not written whole.
  bool LoadFromFile(Files& files, const std::string& path);
  void SaveToFile(Files& files, const std::string& path);
  // Empties the stream.
  void Clear();
  // Parses again at the next query (raises no event).
  void Refresh();
  // Cuts what follows the sound (unless writing).
  void Crop();

  // Editing; positions and lengths in milliseconds. Each returns whether it changed the file
  // as asked; a file it cannot work on (not valid, no sound) is left as it is.
  // Reverses the sound.
  bool Invert();
  // Scales the volume by `percent` more (or less, when negative).
  bool ChangeVolume(int percent);
  // Converts the sound to `format` (8- or 16-bit PCM, any rate and channel count) through
  // `converter`.
  bool ConvertTo(const WAVEFORMATEX& format, AudioConverter& converter);
  // Becomes a copy of that range of `wave` (in its format). The range must start inside the
  // sound and not be empty; it ends at the end of the sound at the latest.
  bool CopyFrom(TWaveStreamAdapter& wave, std::uint32_t position, std::uint32_t length);
  // Keeps only that range of its own sound; the same conditions.
  bool KeepRange(std::uint32_t position, std::uint32_t length);
  // Removes that range; the same conditions.
  bool Delete(std::uint32_t position, std::uint32_t length);
  // Inserts the sound of `wave`, which has the same format, at `position` (at most the end).
  bool Insert(std::uint32_t position, TWaveStreamAdapter& wave);
  // Inserts `length` of silence at `position` (at most the end).
  bool InsertSilence(std::uint32_t position, std::uint32_t length);
  bool DeleteFromStart(std::uint32_t length);
  bool DeleteFromEnd(std::uint32_t length);
  // Becomes the sound of all `waves` in order, in the format of the first (the others' formats
  // are not compared), with `gap` of silence between them. The file is left as it is when any
  // of them has no sound that can be read.
  bool Concat(std::span<TWaveStreamAdapter* const> waves, std::uint32_t gap);
  // Becomes the mix of all `waves`, which must share one format, as long as the longest.
  bool Mix(std::span<TWaveStreamAdapter* const> waves);

  // Starts writing a new file of `format` over the stream's content: false (and nothing
  // changed) unless idle, false also when the header cannot be written. Raises OnChanging;
  // nothing is parsed again until EndRewrite.
  bool BeginRewrite(const WAVEFORMATEX& format);
  // Fixes the sizes, parses the new header and cuts the stream after the sound and its pad
  // byte. False unless writing, or when the sizes could not be written (a full medium, or
  // more sound than 32-bit sizes hold: their fields then stay 0).
  bool EndRewrite();
  // Appends sound while writing: one seek and one write on the stream, no copy. The bytes
  // written (less when the medium is full), or -1 (also when not writing). Never throws.
  std::int64_t Write(const void* data, std::size_t count);
  // While writing, puts `data` on the stream after the sound written so far without adding it
  // to the sound: the Writes that follow go over it, and EndRewrite cuts what they did not
  // cover. A file whose writer is killed before then holds it as sound. Whether all of it
  // was put there.
  bool WriteAhead(const void* data, std::size_t count);

  // Starts reading the sound from its first byte: false unless valid and idle.
  bool BeginRead();
  bool EndRead();
  // Reads on through the sound (never past its end): the bytes read, or -1 (also when not
  // reading).
  std::int64_t Read(void* data, std::size_t count);

  bool Valid() { return UpdateDetails(); }
  // Milliseconds of sound; 0 when not valid.
  std::uint32_t Length();
  // The "data" chunk's size field and the offset of the first sound byte; 0 when not valid.
  std::uint32_t DataSize();
  std::uint32_t DataOffset();
  // The file's format record, followed by its cbSize extra bytes; null when not valid. Valid
  // until the next parse.
  // True once a write to the stream failed for want of room.
  bool RanOutOfRoom() const { return stream_.RanOutOfRoom(); }
  const WAVEFORMATEX* WaveFormat();
  TWaveStreamState State() const { return state_; }

  TEvent OnChanging;
  TEvent OnChange;

 private:
  bool Parse();
  // The file's format record; valid after a successful parse.
  const WAVEFORMATEX& Record() const {
    return *reinterpret_cast<const WAVEFORMATEX*>(format_.data());
  }
  // A copy of the whole sound; none when it cannot be locked.
  std::optional<std::vector<std::uint8_t>> CopySound();
  // Runs `edit` over the sound in place and writes it back when `edit` handled the format.
  bool EditInPlace(const std::function<bool(std::span<std::uint8_t>, const WAVEFORMATEX&)>& edit);
  // BeginRewrite, one Write of all of `sound`, EndRewrite: whether all of it was written.
  bool RewriteWith(const WAVEFORMATEX& format, std::span<const std::uint8_t> sound);
  // The sound bytes [begin, end) of the range of `length` milliseconds at `position`: false
  // unless valid, `length` is not 0 and `position` lies inside the sound.
  bool RangeOf(std::uint32_t position, std::uint32_t length, std::size_t& begin, std::size_t& end);
  // Rewrites the file with `inserted` put into its sound at `position` (at most the end).
  bool InsertSound(std::uint32_t position, std::span<const std::uint8_t> inserted);

  std::unique_ptr<TStream> ownedStream_;
  TStream& stream_;
  bool dirty_ = true;
  bool valid_ = false;
  std::uint32_t dataSize_ = 0;
  std::uint32_t dataOffset_ = 0;
  std::vector<std::uint8_t> format_;  // at least 18 bytes, and 18 + cbSize at least
  TWaveStreamState state_ = TWaveStreamState::None;
  std::optional<RiffFile> io_;    // while reading or writing
  RiffChunk riffChunk_;           // while writing
  RiffChunk dataChunk_;           // while writing
  std::uint16_t blockAlign_ = 1;  // of the format being written
  std::int64_t aheadEnd_ = 0;     // where the last WriteAhead ended
};

// Hands out the streams of numbered waves.
class TCustomWaveStorage {
 public:
  // Tells everyone who asked that the storage is gone.
  virtual ~TCustomWaveStorage();
  // The stream that holds the wave with this index, which the storage keeps owning; null when
  // there is no such wave.
  virtual TStream* GetWaveStream(int index) = 0;

  // Calls `notice` when the storage is destroyed, unless `owner` cancels it first.
  void AskRemovalNotice(const void* owner, std::function<void()> notice);
  void CancelRemovalNotice(const void* owner) { removalNotices_.erase(owner); }

 private:
  std::map<const void*, std::function<void()>> removalNotices_;
};

}  // namespace orvenna
