// The message boxes of pkgtool install's run, answered: disk prompts from
// the directories that hold each disk, every other box on the terminal
// with its buttons, or without anyone to ask by the answers a script needs.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/report.h"
#include "platform/host/host_control.h"
#include "read/media.h"

namespace pkgtool {

// The drive the disks are in.
constexpr char kSourceDrive = 'A';

// What the message boxes of the run need: where each disk lies, whether
// anyone can be asked, and what was answered without asking.
class BoxAnswers {
 public:
  BoxAnswers(const Console& console, ProgressBar* bar, const VolumeSet& volumes,
             const std::string& descriptorDir, bool interactive)
      : console_(console),
        bar_(bar),
        volumes_(volumes),
        descriptorDir_(descriptorDir),
        interactive_(interactive) {}

  int Respond(const host::Box& box);
  // Prints what was folded: the boxes of one cause answered alike.
  void Finish() { reporter_.Finish(); }

  // Whether a person answered Cancel or Abort; what the last failure was.
  bool UserCancelled() const { return userCancelled_; }
  const std::string& Failure() const { return failure_; }
  // Files kept as they were: the boxes answered Ignore.
  unsigned Kept() const { return kept_; }
  void SetNameDecoder(host::NameDecoder decode) { decodeName_ = decode; }

 private:
  struct Button {
    char key;
    const char* label;
    int id;
  };

  int AnswerDiskPrompt(const std::string& text, int disk);
  static std::vector<Button> Buttons(unsigned type);
  static std::string Label(const std::vector<Button>& buttons, int id);
  int Automatic(const host::Box& box);
  int AnswerBox(const host::Box& box);

  const Console& console_;
  host::NameDecoder decodeName_ = [](const std::string& name) { return name; };
  bool userCancelled_ = false;
  std::string failure_;
  ProgressBar* bar_;
  const VolumeSet& volumes_;
  std::string descriptorDir_;
  bool interactive_;
  int lastDisk_ = 0;
  size_t attempt_ = 0;
  std::map<std::string, int> retried_;
  int cause_ = 0;
  unsigned kept_ = 0;  // errno of the platform call that failed before the box
  Reporter reporter_{console_, "setup: "};
};

// path made absolute, as it is when it cannot be resolved.
std::string Absolute(const std::string& path);

}  // namespace pkgtool
