#pragma once
// What every benchmark shares: the sides of a comparison measured in turns, round by round,
// each figure the median of the rounds with its spread, and the machine they ran on.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

constexpr int kMinRounds = 5;

// The median of a set of samples and its range.
struct Figure {
  double median = 0, min = 0, max = 0;
};

Figure Summarise(std::vector<double> samples);

// Runs every side once per round for the given rounds (at least kMinRounds), the order turned
// by one each round so that no side always goes first; each side returns its own measure (a
// time, a rate). Returns the samples of each side, round by round.
std::vector<std::vector<double>> Alternate(int rounds, const std::vector<std::function<double()>>& sides);

// The per-round ratio a[i] / b[i], summarised.
Figure Ratio(const std::vector<double>& a, const std::vector<double>& b);

// "12.34 (12.01-12.90)": the median and its range, each multiplied by scale.
std::string Show(const Figure& f, double scale = 1, int decimals = 2);

// Prints the CPU model and the load average: call before the figures and once after them.
void PrintMachine(const char* bench);
void PrintLoad();

// Seconds since the given steady-clock reading.
double SecondsSince(const std::chrono::steady_clock::time_point& start);

}  // namespace bench
