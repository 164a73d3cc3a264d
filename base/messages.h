// Every message picsheet shows the user when a run fails, in one place.
//
// The texts are kept verbatim on purpose: users, their scripts and the pages they compare rely on
// the exact words, so a message is changed here or not at all.
#pragma once

#include <cstddef>
#include <string>

#include "base/url_credentials.h"

namespace picsheet::messages {

inline constexpr char kHttpUnavailable[] = "Unable to initialize Wininet";
inline constexpr char kStreamWrite[] = "Stream write error";
inline constexpr char kOutOfMemory[] = "Out of memory";
inline constexpr char kInvalidFloat[] = "Invalid floating point operation";
// A run stopped by the user (Stop, Esc, closing the window, Ctrl-C, SIGTERM).
inline constexpr char kInterrupted[] = "Interrupted";
// A failure that carried no message of its own.
inline constexpr char kUnknownError[] = "Unknown error";

// "Cannot open URL %s" with the address as given, but for a password in it
// ("http://user@host/a.jpg" for "http://user:pw@host/a.jpg").
inline std::string CannotOpenUrl(const std::string& url) {
  return "Cannot open URL " + WithoutPassword(url);
}

// Why a picture address is not read, for the detail line under "Cannot open URL %s".
inline constexpr char kNotAWebAddress[] = "not an http:// or https:// address";
inline constexpr char kNotAWebOrFileAddress[] = "not an http://, https:// or file: address";
inline constexpr char kEmptyAddress[] = "the address is empty";
inline std::string FileOnAnotherComputer(const std::string& host) {
  return "a file: address of another computer (" + host + ")";
}

// A source page without a catalogue's title, named by its link or absolute path.
inline std::string NoCatalogue(const std::string& source) {
  return "The page holds no catalogue: " + source;
}

// "Cannot open file \"%s\". %s": the absolute path and the system's description.
inline std::string CannotOpenFile(const std::string& absolutePath, const std::string& reason) {
  return "Cannot open file \"" + absolutePath + "\". " + reason;
}

// "Cannot create file \"%s\". %s": the absolute path and the system's description.
inline std::string CannotCreateFile(const std::string& absolutePath, const std::string& reason) {
  return "Cannot create file \"" + absolutePath + "\". " + reason;
}

// "Cannot create file \"%s\"" when the system gave no description (a child program, a temporary
// file).
inline std::string CannotCreateFile(const std::string& path) {
  return "Cannot create file \"" + path + "\"";
}

// "Cannot create " + folder path.
inline std::string CannotCreateFolder(const std::string& folder) {
  return "Cannot create " + folder;
}

// A save name longer than its picture folder's name leaves it room for.
inline std::string SaveNameTooLong(const std::string& saveName, std::size_t most) {
  return "The save name \"" + saveName + "\" is longer than the " + std::to_string(most) +
         " bytes a save name may take";
}

// A second run of one save name while the first still holds it.
inline std::string SaveNameBusy(const std::string& saveName) {
  return "Another run is saving \"" + saveName + "\" in this folder";
}

// "JPEG error #%d" with the library's message code.
inline std::string JpegError(int code) { return "JPEG error #" + std::to_string(code); }

// The page could not be opened for rendering on paper.
inline std::string CannotOpenFile(const std::string& path) {
  return "Cannot open file \"" + path + "\"";
}

// The rendering engine gave no sheet for the page.
inline std::string CannotPrint(const std::string& path) { return "Cannot print \"" + path + "\""; }

// The print spooler refused the job; reason in its words.
inline std::string CannotPrintOn(const std::string& printer, const std::string& reason) {
  return "Cannot print on " + printer + ": " + reason;
}

// --pdf without the window program that renders the page.
inline std::string PdfRendererMissing(const std::string& program) {
  return "Cannot create PDF: the window program " + program + " (Qt WebEngine) is not installed";
}

// The window program that renders the page could not be started; reason as the system says it.
inline std::string CannotCreatePdf(const std::string& program, const std::string& reason) {
  return "Cannot create PDF: " + program + ". " + reason;
}

// A save name typed with a character that the pages' code page has no byte for (both UTF-8).
inline std::string NotInWindows1251(const std::string& name, const std::string& character) {
  return "The save name \"" + name + "\" has a character that Windows-1251 cannot hold: \"" +
         character + "\"";
}

// A size option (--cache-size) given something that is not a byte count.
inline std::string NotAByteSize(const std::string& text) {
  return "\"" + text +
         "\" is not a size: give a whole number of bytes, or one followed by K, M or G "
         "(also KiB, MiB, GiB; 1024-based, any case), e.g. 500M";
}

// --list names a file (or "-", stdin) whose lines give no source.
inline std::string ListHoldsNoSource(const std::string& list) {
  return "The list \"" + list + "\" holds no source";
}

// --list names a file that cannot be read; reason as the system says it.
inline std::string CannotReadList(const std::string& list, const std::string& reason) {
  return "Cannot read the list \"" + list + "\": " + reason;
}

// --session given to a run of several catalogues, which each need a name of their own.
inline std::string SessionWithSeveralSources(std::size_t sources) {
  return "--session names one page; it cannot be given with " + std::to_string(sources) +
         " sources";
}

}  // namespace picsheet::messages
