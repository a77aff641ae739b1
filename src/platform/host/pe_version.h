// The version resource of a Windows executable or DLL, read on Linux.
//
// A Portable Executable (PE32 or PE32+) carries its version in a resource of
// type 16 (RT_VERSION): a VS_VERSIONINFO block whose VS_FIXEDFILEINFO holds
// the file version as two 32-bit words. pkgtool reads it to stamp shared
// files in the descriptor, and the host platform's version calls can serve
// GetFileVersionInfo from the same code.
//
// Everything here is bounded: the image is read through a range reader, a
// few dozen bytes at a time, every offset is checked against the image's
// size before it is used, loops walk at most the entries the image declares
// (themselves capped), and the one block that is copied is at most 65535
// bytes (its length field is 16 bits wide). A damaged or hostile image
// yields "no version", never a read outside it. 16-bit (NE) executables are
// not understood and have no version here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Byte ranges of an image: a file on disk or a block in memory.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // Total size of the image in bytes.
  virtual uint64_t Size() const = 0;
  // Reads count bytes at offset; false unless every byte was read.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) const = 0;
};

// An image held in memory (not copied; it must outlive the source).
class MemoryImage : public ImageSource {
 public:
  MemoryImage(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Finds the first RT_VERSION resource (first name, first language) of a PE
// image. On success stores the file offset and the length of its data and
// returns true; false when the image is not a PE image, has no resource
// directory, no version resource, or any structure on the way lies outside
// the image.
bool LocateVersionResource(const ImageSource& image, uint64_t* offset,
                           uint32_t* length);

// Copies the VS_VERSIONINFO block of a PE image into *block (at most 65535
// bytes: its wLength, cut to the resource's length). False when there is
// none or it is shorter than its fixed part.
bool ReadVersionBlock(const ImageSource& image, std::vector<uint8_t>* block);

// The file version words of a VS_VERSIONINFO block: the key must be
// "VS_VERSION_INFO" (UTF-16) and the fixed part's signature 0xFEEF04BD.
// False, with the words untouched, otherwise.
bool ParseFixedFileVersion(const uint8_t* block, size_t size,
                           uint32_t* versionMs, uint32_t* versionLs);

// Opens the file at hostPath and reads its file version. False when the
// file cannot be read (*error, when given, gets the errno) or carries no
// valid version resource (*error 0).
bool ReadFileVersion(const std::string& hostPath, uint32_t* versionMs,
                     uint32_t* versionLs, int* error = nullptr);

// The same, returning the whole VS_VERSIONINFO block (GetFileVersionInfo).
bool ReadFileVersionBlock(const std::string& hostPath,
                          std::vector<uint8_t>* block, int* error = nullptr);

}  // namespace host
