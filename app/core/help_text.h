// The parts of --help both programs share: what a run reads from the environment, and the digit
// pictures it copies. The manual pages are made from --help, so these are their texts as well.
#pragma once

// The configured data folder (/usr/share for a package), set by the programs' build rules.
#ifndef PICSHEET_INSTALL_DATADIR
#error "PICSHEET_INSTALL_DATADIR must name the installed data folder"
#endif

namespace picsheet::help {

// Entries of --help's "Environment:" and "Files:" lists, in the layout help2man reads as tagged
// paragraphs: the name at column 3, its meaning from column 23, on the name's line when it fits.
inline constexpr char kEnvironmentEntries[] =
    "  http_proxy, https_proxy, all_proxy\n"
    "                      the proxy for http://, for https:// and for both; HTTPS_PROXY and\n"
    "                      ALL_PROXY too, but not HTTP_PROXY, which a web server's CGI sets\n"
    "                      from a request's Proxy: header\n"
    "  no_proxy, NO_PROXY  the hosts reached without a proxy, separated by commas (* for all)\n"
    "  CURL_CA_BUNDLE, SSL_CERT_FILE, SSL_CERT_DIR\n"
    "                      the certificates that https:// pictures are checked against instead\n"
    "                      of the system's: CURL_CA_BUNDLE, else SSL_CERT_FILE and SSL_CERT_DIR\n"
    "  XDG_CACHE_HOME      the folder of the answers kept for later runs, picsheet/ in it\n"
    "                      (~/.cache/picsheet/ when unset)\n";

inline constexpr char kAnswerCacheEntry[] =
    "  ~/.cache/picsheet/  the pages and pictures kept for later runs, each asked after with\n"
    "                      the server before it is used again (If-None-Match,\n"
    "                      If-Modified-Since); it may be deleted at any time\n";

inline constexpr char kDigitPicturesEntry[] =
    "  syriannums/N.png    beside the page: the digit pictures of digit captions, copied there\n"
    "                      where missing from " PICSHEET_INSTALL_DATADIR
    "/picsheet/syriannums/\n"
    "                      (syriannums/ beside a program run from its build tree)\n";

}  // namespace picsheet::help
