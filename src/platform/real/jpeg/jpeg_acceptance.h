#pragma once

// Which of libjpeg's complaints a decoded picture survives, in one place. libjpeg stops at
// an error (JERR_*): the file is refused, too large when it ran out of memory, damaged or
// no picture otherwise. It goes on after a warning (JWRN_*), and whether the picture is
// still the file's depends on the warning: where it had to invent pixels (data cut short,
// codes it could not read, a lost restart) the picture is refused; where it only stepped
// over something beside the picture's data, every block is still decoded from the file and
// the picture shows. Traces (JTRC_*) are only chatter.
namespace pelk {

// Whether the warning `code` refuses the picture. A code missing from the rules (a newer
// libjpeg's) refuses: a warning not yet understood is not taken for harmless.
bool jpegWarningRefuses(int code);

}  // namespace pelk
