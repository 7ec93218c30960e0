#pragma once
#include <string>

#include "display/imagefiles/picture.h"

// The readers and writers of each image file format. A reader checks every size, offset and
// count against the data and answers false for a bad file, having sent the sink nothing or
// an unfinished picture; a writer answers false when it cannot encode.

bool DecodeBmp(const std::string& data, PictureSink& sink);   // .bmp .rle .dib
bool DecodePcx(const std::string& data, PictureSink& sink);
bool DecodePsd(const std::string& data, PictureSink& sink);
bool DecodeTga(const std::string& data, PictureSink& sink);
bool DecodeDds(const std::string& data, PictureSink& sink);   // the top level, decompressed
bool DecodeJpeg(const std::string& data, PictureSink& sink);
bool DecodePng(const std::string& data, PictureSink& sink);
bool DecodeTiff(const std::string& data, PictureSink& sink);

bool EncodeBmp(const Picture& p, std::string* out);  // 24-bit, bottom-up
bool EncodeTga(const Picture& p, std::string* out);  // 24-bit uncompressed, bottom-up
bool EncodeJpeg(const Picture& p, int quality, std::string* out);
bool EncodePng(const Picture& p, std::string* out);  // 8-bit RGB
