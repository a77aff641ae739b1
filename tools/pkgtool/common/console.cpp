// Errors and the progress bar; see console.h.
#include "common/console.h"

#include "common/report.h"

namespace pkgtool {

void PrintError(const Console& console, const std::string& message) {
  std::fprintf(console.err, "pkgtool: %s\n", Printable(message).c_str());
}

void PrintErrors(const Console& console,
                 const std::vector<std::string>& messages) {
  for (const std::string& message : messages) PrintError(console, message);
}

ProgressBar::ProgressBar(const Console& console, uint64_t total)
    : err_(console.err), enabled_(console.progress), total_(total) {}

void ProgressBar::SetLabel(const std::string& label) {
  if (!enabled_ || label == label_) return;
  label_ = label;
  Draw();
}

void ProgressBar::Update(uint64_t done) {
  if (!enabled_) return;
  done_ = done;
  int percent =
      total_ == 0
          ? 100
          : static_cast<int>((done_ > total_ ? total_ : done_) * 100 / total_);
  if (percent != shownPercent_) Draw();
}

void ProgressBar::Draw() {
  constexpr int kWidth = 30;
  int percent =
      total_ == 0
          ? 100
          : static_cast<int>((done_ > total_ ? total_ : done_) * 100 / total_);
  shownPercent_ = percent;
  char bar[kWidth + 1];
  int filled = percent * kWidth / 100;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::string label =
      label_.size() > 40 ? "..." + label_.substr(label_.size() - 37) : label_;
  std::fprintf(err_, "\r[%s] %3d%% %-40s", bar, percent, label.c_str());
  std::fflush(err_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fprintf(err_, "\r%*s\r", 30 + 2 + 5 + 40, "");
  std::fflush(err_);
  drawn_ = false;
}

}  // namespace pkgtool
