// Where a reading command (list, verify, extract, install) finds the media:
// its DESCRIPTOR argument and its --disk arguments may name directories or
// floppy images (diskN.img, as build --images writes them), and the disks
// not named are looked for beside the descriptor. An image is read by
// copying its files out (mtools) into a temporary directory that lives as
// long as the MediaSources.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "read/media.h"

namespace pkgtool {

struct Console;

class MediaSources {
 public:
  MediaSources() = default;
  ~MediaSources();  // removes what was copied out of images
  MediaSources(const MediaSources&) = delete;
  MediaSources& operator=(const MediaSources&) = delete;

  // The descriptor's host path for a DESCRIPTOR argument: the argument
  // itself (found without regard to case when it is not there as
  // written), for a directory or a floppy image the descriptor (the one
  // *.bin file) in it. "" with *error when the image cannot be read, or the
  // directory or image holds no descriptor or several.
  std::string Descriptor(const std::string& argument, std::string* error);

  // The descriptor Descriptor finds, loaded as LoadMedia does with its
  // texts in codepage; false with what failed printed.
  bool Open(const Console& console, const std::string& argument,
            unsigned codepage, Media* media);

  // The volumes of media: in the descriptor's directory, in each --disk
  // place (a directory, an image, or a directory of images: what cannot be
  // read is printed as a note), then, for the disks still missing, in the
  // directories and images beside disk 1's directory (or beside its
  // image).
  VolumeSet Scan(const Console& console, const Media& media,
                 const std::vector<std::string>& diskPlaces);

 private:
  // The directory an image's files were copied into ("" with *error).
  std::string Unpack(const std::string& image, std::string* error);
  // dir's floppy images, sorted.
  static std::vector<std::string> ImagesIn(const std::string& dir,
                                           std::vector<std::string>* failures);

  std::string root_;  // the temporary directory, once made
  std::map<std::string, std::string> unpacked_;  // image -> its directory
  // The directory whose entries (directories, images) may hold the disks
  // not named: the one above disk 1's directory, or an image's own.
  std::string neighbourhood_;
};

}  // namespace pkgtool
