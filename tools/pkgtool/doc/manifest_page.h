// pkgtool-manifest(5): the manual page of the manifest format, made from
// MANIFEST.md, which stays the one text of it. It reads the Markdown that
// file uses: headings, paragraphs, "- " lists, fenced code, tables,
// `code` and **bold**.
#pragma once

#include <string>

namespace pkgtool_doc {

std::string ManifestPage(const std::string& markdown,
                         const std::string& version);

}  // namespace pkgtool_doc
