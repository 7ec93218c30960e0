#pragma once
// The stream record and the streams' shared state (stream files only).
#include <mutex>
#include <string>
#include <vector>

#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_loaders.h"
#include "sound/engine/streams/streams.h"

enum class StreamReader { Caller, Pcm, Mpeg };

struct SoundStream {
  std::vector<SoundDspUnit*> dsp;  // the stream's own units, by priority
  SoundSample* sample = nullptr;
  SoundFile* file = nullptr;
  SoundCpuMeter meter;
  SoundStreamFill fill = nullptr;
  void* fill_user = nullptr;
  SoundStreamCallback end_callback = nullptr, sync_callback = nullptr;
  int32_t end_user = 0, sync_user = 0;
  SoundCueList cues;
  int32_t cue_cursor = 0;
  int32_t half = 0;
  uint32_t mode = 0;
  int32_t channel = -1;
  // Whole blocks decoded ahead (MPEG frames, converter output).
  std::vector<uint8_t> decoded;
  uint32_t decoded_fill = 0, decoded_read = 0;
  std::vector<uint8_t> source;  // undecoded input of one conversion
  float ratio = 1.0f;
  float cpu = 0;
  int32_t length_ms = 0;
  int32_t end_countdown = -1;
  int32_t sample_ms = 0;        // both halves
  float time = 0;
  int32_t itime = 0;
  uint32_t data_length = 0;
  int64_t data_start = 0;
  int64_t read_pos = 0;         // bytes read from the data start
  int64_t pending_position = -1, pending_time = -1;
  uint32_t bytes_per_frame = 4; // of the source
  uint32_t out_frame = 4;       // of the decoded data
  bool playing = false, ended = false, paused = false;
  StreamReader reader = StreamReader::Caller;
  WavCodec* codec = nullptr;
  MpegDecoder* decoder = nullptr;
  MpegFrameTable frames;
  bool mpeg_searching = false;  // a header was refused: candidates need a second sync
  int32_t frequency = 44100;
  uint32_t frame_output = 0;    // MPEG: PCM bytes of one frame
};

struct StreamsState {
  std::vector<SoundStream*> playing;  // guarded by the engine lock
  std::recursive_mutex refill;        // held while the stream thread refills
  SoundWorker worker;
  SoundDspUnit* time_unit = nullptr;
  bool stopping = true;               // no engine, or the engine is closing
};
extern StreamsState g_streams;

// The readers (stream_readers.cpp).
bool StreamReadPcm(SoundStream* s, void* dest, int32_t bytes, void* user);
bool StreamReadMpeg(SoundStream* s, void* dest, int32_t bytes, void* user);
// Moves the reader to a pending position or time, if one is set.
void StreamApplyPending(SoundStream* s);
