#pragma once
// MIDI files rendered to 16-bit stereo PCM by FluidSynth with a General MIDI SoundFont.
#include <cstdint>
#include <string>

struct MidiRenderer;

// Path of the General MIDI SoundFont ("" when none is installed): VK_SOUNDFONT when it names
// a file, else the first of the Debian SoundFont paths that exists.
std::string MidiFindSoundFont();
// Opens a MIDI file for rendering at the rate, positioned at its start. Null (with a reason)
// when no SoundFont is found or the synthesiser refuses the file.
MidiRenderer* MidiOpen(const std::string& path, int32_t rate, std::string* error);
// The same for the bytes of a standard MIDI file held in memory.
MidiRenderer* MidiOpenSong(const std::string& song, int32_t rate, std::string* error);
// Renders the next frames (interleaved stereo); after the song's end the rest is silence.
void MidiRender(MidiRenderer* midi, int16_t* stereo, int32_t frames);
// Back to the start of the song, every voice silenced.
void MidiRewind(MidiRenderer* midi);
// Ends the renderer; its synthesiser is kept, silenced, for a later open at the same rate.
void MidiClose(MidiRenderer* midi);
