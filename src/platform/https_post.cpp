#include "platform/https_post.h"

#include <memory>

#include "platform/blocking_call.h"
#include "platform/curl_functions.h"
#include "platform/secret.h"

namespace postrider {
namespace {

constexpr std::size_t kMaxBody = 1024 * 1024;
// Short enough that the window answers a click at once.
constexpr int kSliceMs = 10;

size_t TakeBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  // A larger answer is no token response: it is cut, and fails to parse.
  if (body->size() < kMaxBody) body->append(data, std::min(bytes, kMaxBody - body->size()));
  return bytes;
}

std::string HostOf(const std::string& url) {
  std::string host = url.substr(url.find("//") == std::string::npos ? 0 : url.find("//") + 2);
  return host.substr(0, host.find_first_of("/?#"));
}

}  // namespace

HttpsExchange PostForm(const std::string& url, const std::string& form,
                       const HttpsOptions& options) {
  HttpsExchange exchange;
  const Result<const CurlFunctions*> loaded = LoadCurl();
  if (!loaded) {
    exchange.error = loaded.status().message();
    return exchange;
  }
  const CurlFunctions& curl = **loaded;
  const std::unique_ptr<CURL, decltype(curl.curl_easy_cleanup)> easy(curl.curl_easy_init(),
                                                                     curl.curl_easy_cleanup);
  const std::unique_ptr<CURLM, decltype(curl.curl_multi_cleanup)> multi(curl.curl_multi_init(),
                                                                        curl.curl_multi_cleanup);
  if (!easy || !multi) {
    exchange.error = "libcurl could not be started";
    return exchange;
  }
  char reason[CURL_ERROR_SIZE] = {};
  const std::unique_ptr<curl_slist, decltype(curl.curl_slist_free_all)> headers(
      curl.curl_slist_append(nullptr, "Accept: application/json"), curl.curl_slist_free_all);
  CURL* e = easy.get();
  // Each option is needed: one refused (a libcurl too old for
  // CURLOPT_PROTOCOLS_STR) fails the request rather than loosening it.
  CURLcode refused = CURLE_OK;
  const auto set = [&](CURLoption option, auto value) {
    if (refused == CURLE_OK) refused = curl.curl_easy_setopt(e, option, value);
  };
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "https");
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  if (!options.trustFile.empty()) set(CURLOPT_CAINFO, options.trustFile.c_str());
  set(CURLOPT_POSTFIELDS, form.data());
  set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
  set(CURLOPT_HTTPHEADER, headers.get());
  set(CURLOPT_USERAGENT, "Postrider");
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
  set(CURLOPT_WRITEFUNCTION, TakeBody);
  set(CURLOPT_WRITEDATA, &exchange.body);
  set(CURLOPT_ERRORBUFFER, reason);
  if (refused != CURLE_OK) {
    exchange.error = std::string("libcurl refused the request's settings: ") +
                     curl.curl_easy_strerror(refused);
    return exchange;
  }
  curl.curl_multi_add_handle(multi.get(), e);

  BlockingCallScope scope;
  if (!scope.entered()) {
    curl.curl_multi_remove_handle(multi.get(), e);
    exchange.error = "another wait is in progress";
    return exchange;
  }
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    curl.curl_multi_perform(multi.get(), &running);
    int queued = 0;
    bool done = false;
    while (CURLMsg* message = curl.curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    curl.curl_multi_poll(multi.get(), nullptr, 0, kSliceMs, nullptr);
    if (scope.RunHook() != 0) {
      exchange.cancelled = true;
      break;
    }
  }
  curl.curl_multi_remove_handle(multi.get(), e);
  if (exchange.cancelled) {
    WipeString(exchange.body);
    return exchange;
  }
  if (result != CURLE_OK) {
    WipeString(exchange.body);
    exchange.error = "No answer from " + HostOf(url) + ": " +
                     (reason[0] != '\0' ? std::string(reason) : curl.curl_easy_strerror(result));
    return exchange;
  }
  curl.curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &exchange.status);
  return exchange;
}

}  // namespace postrider
