// Answering the run's message boxes; see box_answers.h.
#include "cli/box_answers.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "install/installer_state.h"
#include "platform/platform.h"
#include "stream/volume.h"

namespace pkgtool {

std::string Absolute(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved)
                                                     : path;
}

int BoxAnswers::Respond(const host::Box& box) {
  bar_->Finish();
  cause_ = host::TakeLastError();
  // The reader's prompt asks for the disk it expects next.
  if (Volume.Showing == kDiskPromptBox) {
    return AnswerDiskPrompt(decodeName_(box.text), Volume.CurrentDisk);
  }
  return AnswerBox(box);
}

// The directories that may hold the disk, tried in turn while the same
// disk is asked for again (the volume found was not accepted, or the
// descriptor is not on it); then the terminal, or Cancel.
int BoxAnswers::AnswerDiskPrompt(const std::string& text, int disk) {
  std::vector<std::string> dirs;
  if (const VolumeFile* volume = volumes_.Find(static_cast<uint16_t>(disk))) {
    dirs.push_back(volume->dir);
  }
  if (disk == 1 && (dirs.empty() || Absolute(dirs[0]) != descriptorDir_)) {
    dirs.push_back(descriptorDir_);
  }
  if (disk == lastDisk_) {
    ++attempt_;
  } else {
    lastDisk_ = disk;
    attempt_ = 0;
  }
  if (attempt_ < dirs.size()) {
    // The prompt, answered: what a person would have seen and done.
    std::fprintf(console_.err, "setup: %s -> %s\n", text.c_str(),
                 dirs[attempt_].c_str());
    host::MapDrive(kSourceDrive, dirs[attempt_]);
    return plat::kIdOk;
  }
  std::fprintf(console_.err, "setup: %s\n", text.c_str());
  if (interactive_) {
    std::fprintf(console_.err,
                 "Directory holding disk %d (empty to cancel): ", disk);
    std::fflush(console_.err);
    std::string line;
    if (std::getline(std::cin, line) && !line.empty()) {
      host::MapDrive(kSourceDrive, line);
      return plat::kIdOk;
    }
    userCancelled_ = true;
    return plat::kIdCancel;
  }
  failure_ = "missing disk " + std::to_string(disk) +
             (dirs.empty() ? "" : " (its volume there was not accepted)") +
             "; give its directory with --disk";
  return plat::kIdCancel;
}

std::vector<BoxAnswers::Button> BoxAnswers::Buttons(unsigned type) {
  switch (type & 0x0F) {
    case plat::kMbOkCancel:
      return {{'o', "OK", plat::kIdOk}, {'c', "Cancel", plat::kIdCancel}};
    case plat::kMbAbortRetryIgnore:
      return {{'a', "Abort", plat::kIdAbort},
              {'r', "Retry", plat::kIdRetry},
              {'i', "Ignore", plat::kIdIgnore}};
    case plat::kMbYesNo:
      return {{'y', "Yes", plat::kIdYes}, {'n', "No", plat::kIdNo}};
    case plat::kMbRetryCancel:
      return {{'r', "Retry", plat::kIdRetry}, {'c', "Cancel", plat::kIdCancel}};
    default:
      return {{'o', "OK", plat::kIdOk}};
  }
}

// Without anyone to ask: OK, Yes, Ignore (the write-protected file is
// kept), and Retry once for a given text, Cancel when it comes again.
int BoxAnswers::Automatic(const host::Box& box) {
  switch (box.type & 0x0F) {
    case plat::kMbAbortRetryIgnore:
      return plat::kIdIgnore;
    case plat::kMbYesNo:
      return plat::kIdYes;
    case plat::kMbRetryCancel:
      return retried_[box.text]++ == 0 ? plat::kIdRetry : plat::kIdCancel;
    default:
      return plat::kIdOk;
  }
}

std::string BoxAnswers::Label(const std::vector<Button>& buttons, int id) {
  for (const Button& button : buttons) {
    if (button.id == id) return button.label;
  }
  return "?";
}

int BoxAnswers::AnswerBox(const host::Box& box) {
  const std::vector<Button> buttons = Buttons(box.type);
  std::string choices;
  for (const Button& button : buttons) {
    if (!choices.empty()) choices += ", ";
    choices += std::string("[") + button.label[0] + "]" + (button.label + 1);
  }
  // The file being installed, rather than the caption (the program's
  // name), says what the message is about.
  const std::string about = Volume.CurrentRecord != nullptr
                                ? decodeName_(RecordName(Volume.CurrentRecord))
                                : decodeName_(box.caption);
  // The installer's text, and the cause the platform saw for it.
  const std::string cause = cause_ != 0 ? std::strerror(cause_) : "";
  const std::string text = OneLine(decodeName_(box.text)) +
                           (cause.empty() ? "" : " (" + cause + ")");
  failure_ = about + ": " + text;
  int answer = 0;
  if (!interactive_) {
    // Answered without asking: a line per box, the boxes of one cause
    // answered alike folded into a count.
    answer = Automatic(box);
    if (answer == plat::kIdIgnore) ++kept_;
    const std::string label = Label(buttons, answer);
    reporter_.Fail(failure_ + " -> " + label,
                   cause.empty() ? "" : cause + " -> " + label);
    return answer;
  }
  std::fprintf(console_.err, "setup: %s\n", Printable(failure_).c_str());
  {
    for (;;) {
      std::fprintf(console_.err, "%s? ", choices.c_str());
      std::fflush(console_.err);
      std::string line;
      if (!std::getline(std::cin, line)) {
        answer = buttons.size() > 1 ? buttons.back().id : buttons[0].id;
        if ((box.type & 0x0F) == plat::kMbAbortRetryIgnore) {
          answer = plat::kIdAbort;
        }
        break;
      }
      const char key = static_cast<char>(tolower(line.empty() ? 0 : line[0]));
      for (const Button& button : buttons) {
        if (button.key == key) answer = button.id;
      }
      if (answer != 0) break;
    }
    userCancelled_ |= answer == plat::kIdCancel || answer == plat::kIdAbort;
    if (answer == plat::kIdIgnore) ++kept_;
  }
  std::fprintf(console_.err, "setup: -> %s\n", Label(buttons, answer).c_str());
  return answer;
}

}  // namespace pkgtool
