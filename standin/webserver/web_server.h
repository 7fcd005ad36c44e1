#pragma once
// Stand-in for the maker's web server: loopback HTTP under "/downloads/" serving
// versions.json, input/*.enc, the release archive, documents and airport stand files.
// Files come from memory (putFile) or from a root folder; each path can be scripted to answer
// with another status, to cut its body short, to trickle, or to hang.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct WebFileBehaviour {
  int status = 200;                          // anything but 200 answers with a short HTML page
  std::optional<std::size_t> truncateAfter;  // announce the whole length, send this many bytes, close
  std::size_t trickleBytes = 0;              // > 0: this many bytes per interval
  std::chrono::milliseconds trickleInterval{1000};
  bool hang = false;                         // headers, then nothing until released or stopped
  std::size_t unannouncedBytes = 0;          // > 0: a chunked body of this many bytes, no length told
};

class WebServer {
 public:
  // Binds 127.0.0.1 on the given port (0: a free one) and serves on its own thread.
  // Throws std::runtime_error when it cannot bind.
  explicit WebServer(std::filesystem::path rootFolder = {}, int port = 0);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  int port() const;
  // "http://127.0.0.1:<port>/downloads/": what the program takes as the maker's base URL.
  std::string baseUrl() const;

  // Paths are relative to the downloads folder: "versions.json", "input/dbase.enc",
  // "release/JORV_latest_version.zip", "docs/ReleaseNotes.pdf".
  void putFile(const std::string& path, std::string content);
  void removeFile(const std::string& path);
  void setBehaviour(const std::string& path, const WebFileBehaviour& behaviour);
  void clearBehaviours();

  // Called on the server's thread when a request arrives, before it is answered.
  void setOnRequest(std::function<void(const std::string& path)> hook);
  std::vector<std::string> requestedPaths() const;

  // Lets every hanging or trickling answer end (their connections are closed).
  void releaseHangs();
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace standin
