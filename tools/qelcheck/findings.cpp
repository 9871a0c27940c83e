#include "tools/qelcheck/findings.h"

#include <algorithm>

namespace qelcheck {

namespace {

// Names come from a medium: control characters would reach the terminal.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

void Findings::Error(const std::string& file, size_t line, const std::string& text) {
  findings_.push_back({Severity::Error, file, line, text});
}

void Findings::Warning(const std::string& file, size_t line, const std::string& text) {
  findings_.push_back({Severity::Warning, file, line, text});
}

void Findings::Demote(size_t index, const std::string& why) {
  Finding& f = findings_.at(index);
  if (f.severity == Severity::Warning) return;
  f.severity = Severity::Warning;
  f.text += why;
}

std::string Findings::Lines(bool errorsOnly) const {
  std::vector<std::string> files;
  for (const Finding& f : findings_) {
    if (std::find(files.begin(), files.end(), f.file) == files.end()) files.push_back(f.file);
  }
  auto rank = [&](const Finding& f) { return std::find(files.begin(), files.end(), f.file) - files.begin(); };
  std::vector<const Finding*> order;
  for (const Finding& f : findings_) order.push_back(&f);
  std::stable_sort(order.begin(), order.end(), [&](const Finding* a, const Finding* b) {
    return rank(*a) != rank(*b) ? rank(*a) < rank(*b) : a->line < b->line;
  });

  std::string out;
  for (const Finding* f : order) {
    if (errorsOnly && f->severity != Severity::Error) continue;
    out += Printable(f->file);
    if (f->line > 0) out += ":" + std::to_string(f->line);
    out += f->severity == Severity::Error ? ": error: " : ": warning: ";
    out += Printable(f->text) + "\n";
  }
  return out;
}

int Findings::ExitStatus() const {
  int status = kExitClean;
  for (const Finding& f : findings_) {
    status = std::max(status, f.severity == Severity::Error ? kExitErrors : kExitWarnings);
  }
  return status;
}

}  // namespace qelcheck
