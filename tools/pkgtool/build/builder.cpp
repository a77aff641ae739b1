// Making media from a manifest; see builder.h. BuildMedia is the list of
// the build's stages (build/stages.h).
#include "build/builder.h"

#include "base/text.h"
#include "build/stages.h"
#include "manifest/target_name.h"

namespace pkgtool {
namespace {

// The dry run: the streams measured and laid out as a build would, the
// layout printed, nothing written.
bool DryRun(const Manifest& manifest, const BuildOptions& options,
            const BuildInputs& inputs, const Console& console,
            std::vector<std::string>* errors) {
  StreamStore store;
  MediaPlan plan;
  if (!EncodeAll(manifest, inputs.files, "", options.jobs, console, nullptr,
                 &store, errors) ||
      !PlanCheckedMedia(manifest, inputs.files, store.Lengths(), inputs.disk1,
                        &plan, errors)) {
    return false;
  }
  PrintFileList(inputs.files, plan, console);
  PrintLayout(manifest, options.outputDir, inputs.files, inputs.disk1, plan,
              console);
  return true;
}

}  // namespace

uint16_t SizeKb(uint64_t size) {
  uint64_t kb = (size + 1023) / 1024;
  return static_cast<uint16_t>(kb > 0xFFFF ? 0xFFFF : kb);
}

std::string DescriptorFileName(const std::string& installerPath) {
  if (installerPath.empty()) return "SETUP.bin";
  char name[kPathSize];
  CopyText(name, sizeof name, BaseName(installerPath).c_str());
  ReplaceExtension(name, ".bin");
  return name;
}

std::string PlainCopyPath(const std::string& target) {
  std::vector<std::string> components;
  std::string why;
  if (!ExtractionComponents(target, &components, &why)) return std::string();
  std::string path;
  for (const std::string& component : components) {
    path = path.empty() ? component : path + "/" + component;
  }
  return path;
}

bool BuildMedia(const Manifest& manifest, const BuildOptions& options,
                const Console& console, std::vector<std::string>* errors) {
  // The files, checked, and the names disk 1 gives them; the media already
  // in OUTDIR.
  BuildInputs inputs;
  if (!PrepareBuild(manifest, options, console, &inputs, errors)) return false;
  if (options.dryRun) return DryRun(manifest, options, inputs, console, errors);

  // The streams, encoded into the workers' temporary files: their lengths
  // decide the layout. From here on everything written is staged.
  Staging staging;
  if (!staging.MakeDirectories(options.outputDir)) {
    errors->push_back(options.outputDir + ": cannot create: " + SystemError());
    return false;
  }
  StreamStore store;
  if (!EncodeAll(manifest, inputs.files, options.outputDir, options.jobs,
                 console, &staging, &store, errors)) {
    return false;
  }

  // The disks laid out and the descriptor checked.
  MediaPlan plan;
  if (!PlanCheckedMedia(manifest, inputs.files, store.Lengths(), inputs.disk1,
                        &plan, errors)) {
    return false;
  }

  // Every file written under its temporary name, then all put in place.
  if (!StageMedia(manifest, options, inputs.files, inputs.disk1, plan, &store,
                  &staging, errors) ||
      !CommitMedia(options, inputs.disk1.volumeName, plan, inputs.earlier,
                   inputs.others, console, &staging, errors)) {
    return false;
  }
  PrintLayout(manifest, options.outputDir, inputs.files, inputs.disk1, plan,
              console);
  return true;
}

}  // namespace pkgtool
