// The bundled sample (examples/) as the tests serve it from a loopback server.
#pragma once

#include <httplib.h>

#include <string>

namespace picsheet::testkit {

// examples/pictures/ as a folder on disk, ending in "/".
std::string SamplePictureFolder();

// Serves /pictures/NAME from the sample pictures (404 for unknown names) and /error-page.jpg as
// an HTML 404 page where a picture should be.
void ServeSamplePictures(httplib::Server& server);

// examples/catalogue.htm with its links pointed at a loopback server on port.
std::string SampleCatalogue(int port);

}  // namespace picsheet::testkit
