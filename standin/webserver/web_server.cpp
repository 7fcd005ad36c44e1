#include "standin/webserver/web_server.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace standin {
namespace fs = std::filesystem;

namespace {

// A request path may not climb out of the root folder.
bool lf_isSafeRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find('\\') != std::string::npos) return false;
  for (const auto& part : fs::path(path)) {
    if (part == "..") return false;
  }
  return true;
}

std::optional<std::string> lf_readWholeFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string lf_contentType(const std::string& path) {
  if (path.ends_with(".json")) return "application/json";
  if (path.ends_with(".xml")) return "application/xml";
  if (path.ends_with(".pdf")) return "application/pdf";
  if (path.ends_with(".zip")) return "application/zip";
  return "application/octet-stream";
}

}  // namespace

struct WebServer::Impl {
  fs::path root;
  httplib::Server server;
  std::thread thread;
  int port = 0;

  mutable std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  std::uint64_t releaseGeneration = 0;
  std::map<std::string, std::string> files;
  std::map<std::string, WebFileBehaviour> behaviours;
  std::function<void(const std::string&)> onRequest;
  std::vector<std::string> requested;

  std::optional<std::string> lookUp(const std::string& path) {
    {
      std::lock_guard lock(mutex);
      auto found = files.find(path);
      if (found != files.end()) return found->second;
    }
    if (root.empty() || !lf_isSafeRelativePath(path)) return std::nullopt;
    return lf_readWholeFile(root / path);
  }

  // Waits out one trickle interval; false when the answer must end instead.
  bool pause(std::chrono::milliseconds interval) {
    std::unique_lock lock(mutex);
    const std::uint64_t generation = releaseGeneration;
    return !wake.wait_for(lock, interval, [&] { return stopping || releaseGeneration != generation; });
  }

  // Holds a hung answer until a release after its request came (`generation`, counted then): one
  // counted only once the body began went on hanging when the release fell between the two.
  bool hang(std::uint64_t generation) {
    std::unique_lock lock(mutex);
    wake.wait(lock, [&] { return stopping || releaseGeneration != generation; });
    return false;
  }

  void answer(const std::string& path, httplib::Response& response) {
    std::function<void(const std::string&)> hook;
    WebFileBehaviour behaviour;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex);
      generation = releaseGeneration;
      requested.push_back(path);
      hook = onRequest;
      auto found = behaviours.find(path);
      if (found != behaviours.end()) behaviour = found->second;
    }
    if (hook) hook(path);

    if (behaviour.status != 200) {
      response.status = behaviour.status;
      response.set_content("<html><body><h1>Error " + std::to_string(behaviour.status) + "</h1></body></html>",
                           "text/html");
      return;
    }
    auto content = lookUp(path);
    if (!content) {
      response.status = 404;
      response.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
      return;
    }
    auto body = std::make_shared<const std::string>(std::move(*content));
    response.status = 200;
    if (behaviour.unannouncedBytes > 0) {
      // A hostile server: the file's text over and over, without saying how much will come.
      response.set_chunked_content_provider(lf_contentType(path), [body, total = behaviour.unannouncedBytes](
                                                                      std::size_t offset, httplib::DataSink& sink) {
        if (offset >= total) {
          sink.done();
          return true;
        }
        std::string piece;
        while (piece.size() < 65536) piece += body->empty() ? std::string("z") : *body;
        piece.resize(std::min<std::size_t>(piece.size(), total - offset));
        return sink.write(piece.data(), piece.size());
      });
      return;
    }
    if (!behaviour.hang && !behaviour.truncateAfter && behaviour.trickleBytes == 0) {
      response.set_content(*body, lf_contentType(path));
      return;
    }
    response.set_content_provider(
        body->size(), lf_contentType(path),
        [this, body, behaviour, generation](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          if (behaviour.hang) return hang(generation);
          std::size_t end = offset + length;
          if (behaviour.truncateAfter) end = std::min(end, *behaviour.truncateAfter);
          std::size_t piece = end > offset ? end - offset : 0;
          if (behaviour.trickleBytes > 0) piece = std::min(piece, behaviour.trickleBytes);
          if (piece == 0) return false;  // cut short: the connection closes mid-body
          if (!sink.write(body->data() + offset, piece)) return false;
          if (behaviour.trickleBytes > 0 && offset + piece < body->size()) return pause(behaviour.trickleInterval);
          return true;
        });
  }
};

WebServer::WebServer(fs::path rootFolder, int port) : m_impl(std::make_unique<Impl>()) {
  m_impl->root = std::move(rootFolder);
  m_impl->server.Get("/downloads/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
    m_impl->answer(request.matches[1].str(), response);
  });
  if (port == 0) {
    m_impl->port = m_impl->server.bind_to_any_port("127.0.0.1");
  } else {
    m_impl->port = m_impl->server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (m_impl->port <= 0) throw std::runtime_error("web server stand-in: cannot bind 127.0.0.1");
  m_impl->thread = std::thread([this] { m_impl->server.listen_after_bind(); });
  // stop() is a no-op until the loop runs; wait for it so that a quick stop can't be lost.
  for (int i = 0; i < 5000 && !m_impl->server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

WebServer::~WebServer() { stop(); }

int WebServer::port() const { return m_impl->port; }

std::string WebServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_impl->port) + "/downloads/"; }

void WebServer::putFile(const std::string& path, std::string content) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->files[path] = std::move(content);
}

void WebServer::removeFile(const std::string& path) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->files.erase(path);
}

void WebServer::setBehaviour(const std::string& path, const WebFileBehaviour& behaviour) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->behaviours[path] = behaviour;
}

void WebServer::clearBehaviours() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->behaviours.clear();
}

void WebServer::setOnRequest(std::function<void(const std::string& path)> hook) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->onRequest = std::move(hook);
}

std::vector<std::string> WebServer::requestedPaths() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->requested;
}

void WebServer::releaseHangs() {
  {
    std::lock_guard lock(m_impl->mutex);
    ++m_impl->releaseGeneration;
  }
  m_impl->wake.notify_all();
}

void WebServer::stop() {
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stopping = true;
  }
  m_impl->wake.notify_all();
  m_impl->server.stop();
  if (m_impl->thread.joinable()) m_impl->thread.join();
}

}  // namespace standin
