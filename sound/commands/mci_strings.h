#pragma once
// The music devices' command strings: a small interpreter of the texts the music commands send
// ("open", "close", "play [from]", "stop", "pause", "resume", "set ... time format", "status
// ... length|position"), each device known by its alias.
#include <string>
#include <vector>

// Runs one command string; true when it succeeded. A reply (a decimal number for status) is
// written to reply when one is given.
bool MciSendString(const std::string& command, std::string* reply);
// Why the last "open" of a file failed ("" when it did not).
const std::string& MciOpenFailure();
// Closes every open device.
void MciCloseAll();
// Every string sent since the log was cleared (for tests), while logging is on.
void MciLogCommands(bool on);
const std::vector<std::string>& MciSentCommands();
void MciClearLog();
