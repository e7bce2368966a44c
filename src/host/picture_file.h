// The off-screen picture written as the PNG file that QV_PICTURE names.
#pragma once

namespace qv {

// Writes the picture when QV_PICTURE is set and a run is drawing; reports
// a failure once on standard error.
void save_picture_file();

}  // namespace qv
