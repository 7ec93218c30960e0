#include "sound/commands/mci_strings.h"

#include <cstdlib>
#include <map>
#include <memory>

#include "platform/fs.h"
#include "sound/commands/music_device.h"

namespace {

struct OpenDevice {
  std::unique_ptr<MusicDevice> device;
};

struct MciState {
  std::map<std::string, OpenDevice> devices;  // by alias, lower case
  std::string openFailure;
  bool logging = false;
  std::vector<std::string> log;
};

MciState& Mci() {
  static MciState state;
  return state;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Words separated by blanks; a word in double quotes may hold blanks.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t k = 0;
  while (k < text.size()) {
    if (text[k] == ' ' || text[k] == '\t') {
      ++k;
      continue;
    }
    std::string w;
    if (text[k] == '"') {
      const size_t end = text.find('"', k + 1);
      w = text.substr(k + 1, end == std::string::npos ? std::string::npos : end - k - 1);
      k = end == std::string::npos ? text.size() : end + 1;
    } else {
      while (k < text.size() && text[k] != ' ' && text[k] != '\t') w += text[k++];
    }
    words.push_back(w);
  }
  return words;
}

bool ParseNumber(const std::string& text, int32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end || v < 0 || v > INT32_MAX) return false;
  *out = int32_t(v);
  return true;
}

// "open <file|cdaudio> alias <name>": the CD audio device does not exist here.
bool Open(const std::vector<std::string>& w) {
  Mci().openFailure.clear();
  if (w.size() != 4 || Lower(w[2]) != "alias" || Lower(w[1]) == "cdaudio") return false;
  const std::string alias = Lower(w[3]);
  if (Mci().devices.count(alias)) return false;
  std::unique_ptr<MusicDevice> device = MusicDevice::Open(FsResolve(w[1]), &Mci().openFailure);
  if (!device) return false;
  Mci().devices[alias].device = std::move(device);
  return true;
}

void Reply(std::string* reply, int32_t value) {
  if (reply) *reply = std::to_string(value);
}

bool Run(const std::vector<std::string>& w, std::string* reply) {
  if (w.empty()) return false;
  const std::string verb = Lower(w[0]);
  if (verb == "open") return Open(w);
  if (w.size() < 2) return false;
  auto it = Mci().devices.find(Lower(w[1]));
  if (it == Mci().devices.end()) return false;
  MusicDevice& d = *it->second.device;
  if (verb == "close" && w.size() == 2) {
    Mci().devices.erase(it);
    return true;
  }
  if (verb == "play") {
    int32_t from = -1;
    if (w.size() == 4 && Lower(w[2]) == "from" && ParseNumber(w[3], &from)) return d.Play(from);
    return w.size() == 2 && d.Play(-1);
  }
  if (w.size() == 2) {
    if (verb == "stop") return d.Stop();
    if (verb == "pause") return d.Pause();
    if (verb == "resume") return d.Resume();
    return false;
  }
  if (verb == "set" && w.size() == 5 && Lower(w[2]) == "time" && Lower(w[3]) == "format") {
    const std::string format = Lower(w[4]);
    // Files are timed in milliseconds; the track form belongs to CD audio, which nothing opens.
    return format == "milliseconds" || format == "ms";
  }
  if (verb == "status" && w.size() == 3) {
    const std::string item = Lower(w[2]);
    if (item == "length") {
      Reply(reply, d.LengthMs());
      return true;
    }
    if (item == "position") {
      Reply(reply, d.PositionMs());
      return true;
    }
  }
  return false;
}

}  // namespace

const std::string& MciOpenFailure() { return Mci().openFailure; }

bool MciSendString(const std::string& command, std::string* reply) {
  if (Mci().logging) Mci().log.push_back(command);
  if (reply) reply->clear();
  const bool ok = Run(Words(command), reply);
  if (reply && reply->size() > 255) reply->resize(255);
  return ok;
}

void MciCloseAll() { Mci().devices.clear(); }

void MciLogCommands(bool on) { Mci().logging = on; }

const std::vector<std::string>& MciSentCommands() { return Mci().log; }

void MciClearLog() { Mci().log.clear(); }
