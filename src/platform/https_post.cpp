#include "platform/https_post.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/blocking_call.h"
#include "platform/secret.h"

namespace postrider {
namespace {

constexpr std::size_t kMaxBody = 1024 * 1024;
// Short enough that the window answers a click at once.
constexpr int kSliceMs = 10;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t TakeBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  // A larger answer is no token response: it is cut, and fails to parse.
  if (body->size() < kMaxBody) body->append(data, std::min(bytes, kMaxBody - body->size()));
  return bytes;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::string HostOf(const std::string& url) {
  std::string host = url.substr(url.find("//") == std::string::npos ? 0 : url.find("//") + 2);
  return host.substr(0, host.find_first_of("/?#"));
}

}  // namespace

HttpsExchange PostForm(const std::string& url, const std::string& form,
                       const HttpsOptions& options) {
  InitCurlOnce();
  HttpsExchange exchange;
  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) {
    exchange.error = "libcurl could not be started";
    return exchange;
  }
  char reason[CURL_ERROR_SIZE] = {};
  std::unique_ptr<curl_slist, ListDeleter> headers(
      curl_slist_append(nullptr, "Accept: application/json"));
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  if (!options.trustFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options.trustFile.c_str());
  curl_easy_setopt(e, CURLOPT_POSTFIELDS, form.data());
  curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_USERAGENT, "Postrider");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, TakeBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &exchange.body);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, reason);
  curl_multi_add_handle(multi.get(), e);

  BlockingCallScope scope;
  if (!scope.entered()) {
    curl_multi_remove_handle(multi.get(), e);
    exchange.error = "another wait is in progress";
    return exchange;
  }
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    curl_multi_perform(multi.get(), &running);
    int queued = 0;
    bool done = false;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    curl_multi_poll(multi.get(), nullptr, 0, kSliceMs, nullptr);
    if (scope.RunHook() != 0) {
      exchange.cancelled = true;
      break;
    }
  }
  curl_multi_remove_handle(multi.get(), e);
  if (exchange.cancelled) {
    WipeString(exchange.body);
    return exchange;
  }
  if (result != CURLE_OK) {
    WipeString(exchange.body);
    exchange.error = "No answer from " + HostOf(url) + ": " +
                     (reason[0] != '\0' ? std::string(reason) : curl_easy_strerror(result));
    return exchange;
  }
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &exchange.status);
  return exchange;
}

}  // namespace postrider
