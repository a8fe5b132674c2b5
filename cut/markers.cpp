#include "cut/markers.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "console/console.h"

namespace {

// A listing line is at most this long, whatever texts the file holds.
constexpr size_t kLineCharacters = 200;

// A frame's time to the millisecond, as "m:ss.mmm" or "h:mm:ss.mmm".
std::string MarkTime(uint64_t frame, uint32_t rate) {
  const unsigned long long millis = rate != 0 ? (frame * 1000 + rate / 2) / rate : 0;
  const unsigned long long seconds = millis / 1000, minutes = seconds / 60, hours = minutes / 60;
  char text[64];
  if (hours > 0)
    snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu", hours, minutes % 60, seconds % 60,
             millis % 1000);
  else
    snprintf(text, sizeof text, "%llu:%02llu.%03llu", minutes, seconds % 60, millis % 1000);
  return text;
}

std::string Line(size_t number, const Marker& m, uint32_t rate) {
  char head[160];
  const auto start = static_cast<unsigned long long>(m.start);
  const auto end = static_cast<unsigned long long>(m.end);
  if (m.kind == Marker::Kind::kPoint)
    snprintf(head, sizeof head, "  %zu  %s  frame %llu", number, MarkTime(m.start, rate).c_str(), start);
  else
    snprintf(head, sizeof head, "  %zu  %s%s - %s  frames %llu - %llu", number,
             m.kind == Marker::Kind::kLoop ? "loop " : "", MarkTime(m.start, rate).c_str(),
             MarkTime(m.end, rate).c_str(), start, end);
  std::string text = m.label;
  if (!m.note.empty()) text += (text.empty() ? "" : " ") + ("(" + m.note + ")");
  if (m.kind == Marker::Kind::kRegion) text += (text.empty() ? "" : "  ") + std::string("(a region)");
  std::string line = head;
  if (!text.empty()) line += "  " + text;
  return PrintableText(line, kLineCharacters);
}

// Where a marker's selection ends: a point's at the next later start.
int64_t SelectionEnd(const std::vector<Marker>& markers, size_t i, uint32_t length) {
  const Marker& m = markers[i];
  if (m.kind != Marker::Kind::kPoint) return static_cast<int64_t>(m.end);
  for (const Marker& next : markers)
    if (next.start > m.start) return static_cast<int64_t>(next.start);
  return length;
}

int32_t ToPoint(int64_t frame) { return static_cast<int32_t>(std::min<int64_t>(frame, INT32_MAX)); }

// The number typed at the prompt, or 0: slips are named as at the other
// number prompts, and what is no number is the next command.
long AskForNumber(size_t count) {
  puts("Enter a marker's number to select it, or 0 to keep the selection:");
  long number = 0;
  std::string word;
  const NumberRead read = ReadInteger(number, word);
  if (read == NumberRead::kNotNumber) {
    if (!word.empty() && word != "x") SaySlip("%s is not a marker's number: the selection stays", word.c_str());
    return 0;
  }
  if (read != NumberRead::kNumber && read != NumberRead::kLeadingNumber) return 0;
  if (read == NumberRead::kLeadingNumber && PersonTyping()) {
    DropRestOfWord();
    SaySlip("%s is not a whole number: the selection stays", word.c_str());
    return 0;
  }
  NameIntegerAnswer(read, word, number, "markers", number, false);
  if (number < 0 || static_cast<unsigned long>(number) > count) {
    SaySlip("%s is not a marker's number (1 to %zu): the selection stays", word.c_str(), count);
    return 0;
  }
  return number;
}

// The markers of the file that begin before its length, region and loop
// ends cut back to it; how many were left out is said on standard error.
std::vector<Marker> MarkersInFile(const Selection& s) {
  std::vector<Marker> markers = ReadMarkers(s.fd), kept;
  for (Marker& m : markers) {
    if (m.start >= s.length) continue;
    m.end = std::min<uint64_t>(m.end, s.length);
    kept.push_back(m);
  }
  if (kept.size() < markers.size())
    SaySlip("%zu marker%s of %s begin%s past the end of its data (frame %u): left out",
            markers.size() - kept.size(), markers.size() - kept.size() == 1 ? "" : "s",
            s.fileName.c_str(), markers.size() - kept.size() == 1 ? "s" : "", s.length);
  return kept;
}

}  // namespace

std::vector<Marker> MarkersWithin(const std::vector<Marker>& markers, int64_t first, int64_t end) {
  std::vector<Marker> within;
  for (Marker m : markers) {
    const auto start = static_cast<int64_t>(m.start);
    if (m.kind == Marker::Kind::kLoop || start < first || start >= end) continue;
    m.start = static_cast<uint64_t>(start - first);
    m.end = static_cast<uint64_t>(std::min<int64_t>(static_cast<int64_t>(m.end), end) - first);
    within.push_back(m);
  }
  return within;
}

bool ChooseMarker(Selection& s) {
  const std::vector<Marker> markers = MarkersInFile(s);
  if (markers.empty()) {
    printf("\n%s holds no markers\n", PrintableText(s.fileName, kLineCharacters).c_str());
    return false;
  }
  printf("\nMarkers in %s:\n", PrintableText(s.fileName, kLineCharacters).c_str());
  for (size_t i = 0; i < markers.size(); ++i) puts(Line(i + 1, markers[i], s.wave.rate).c_str());
  const long number = AskForNumber(markers.size());
  if (number == 0) return false;
  const size_t i = static_cast<size_t>(number - 1);
  s.inPoint = ToPoint(static_cast<int64_t>(markers[i].start));
  s.outPoint = ToPoint(SelectionEnd(markers, i, s.length));
  return true;
}
