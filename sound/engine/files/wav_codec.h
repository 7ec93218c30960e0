#pragma once
// Converters from the compressed and wide WAV encodings to 16-bit PCM: mu-law, A-law, IMA and
// MS ADPCM, IEEE float, 24- and 32-bit PCM and the extensible format; a source of more than two
// channels (up to eight) is mixed down to stereo. Three steps, as a conversion service offers
// them: suggest a PCM target, size the output, convert a block.
#include <cstdint>
#include <string>
#include <vector>

#include "sound/engine/files/riff_wave.h"

struct WavCodec;

// The 16-bit PCM format a source converts to (same rate, at most two channels); false, with
// what is not supported in *why, when the source cannot be converted.
bool WavCodecSuggest(const std::vector<uint8_t>& source_format, WaveFormatInfo* target, std::string* why = nullptr);
// A converter from the source format to the suggested target, or null.
WavCodec* WavCodecOpen(const std::vector<uint8_t>& source_format);
void WavCodecClose(WavCodec* codec);
// Bytes of 16-bit PCM that source_bytes of input become.
uint32_t WavCodecSize(const WavCodec* codec, uint32_t source_bytes);
// Bytes of input that make one whole unit of conversion (an ADPCM block, one sample frame).
uint32_t WavCodecBlock(const WavCodec* codec);
// Converts whole units of `source` into `dest` (room for dest_length bytes); returns the bytes
// written.
uint32_t WavCodecConvert(WavCodec* codec, const uint8_t* source, uint32_t source_length, uint8_t* dest,
                         uint32_t dest_length);

// Block conversion through an open converter; on return *dest_length is the bytes produced.
bool AcmConvertBlock(WavCodec* codec, const uint8_t* source, uint32_t source_length, uint8_t* dest,
                     uint32_t* dest_length);
