#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "model/xfile/xfile.h"

// The writer half of the 3DS converter: the model the 3DS reader walks becomes a text .x file
// ("xof 0302txt 0064") that the X loader reads. Numbers are written in the C locale with six
// decimals; a value that is not finite is written as 0.000000.

// The X text of a whole .3ds file image (the header alone for bytes that hold no model). A
// model past the limits of a load, a damaged file (Read3dsFile's damage), or a stop asked for,
// gives "" and why (when given) the cause; else why is emptied.
std::string Convert3dsBytesToX(std::string_view bytes, const XLimits& limits = {}, std::string* why = nullptr);
// The same model as .x objects, each number as the text would give it back, the references
// resolved: what reading the X text gives, without the text. False, with out emptied and the
// cause in *why, for a model that would build more than the limits allow or a damaged file (the
// text form refuses both alike).
bool Convert3dsBytesToXFile(std::string_view bytes, XFile* out, const XLimits& limits = {},
                            std::string* why = nullptr);
// Converts a file: 0, or -4 when the source cannot be read or holds more than a model load
// takes (g_modelLimits). The target is written through a
// temporary file and a rename; a target that cannot be written is left alone and gives -5.
// On failure why (when given) gets the cause.
int32_t Convert3dsToX(const std::string& source, const std::string& target, std::string* why = nullptr);
// The name with every character but A-Z, a-z and 0-9 turned into '_'.
std::string SanitiseXName(std::string_view name);
