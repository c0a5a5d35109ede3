#include "shared_curl_data.h"

#include "core/exception.h"

namespace kel::libs::core::http {

namespace {

// libcurl wants its global state set up once, before any thread uses it.
void init_curl_once() {
    static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
    KEL_CHECK(init == CURLE_OK);
}

}  // namespace

shared_curl_data::shared_curl_data() : m_data((init_curl_once(), curl_share_init())) {
    KEL_CHECK(m_data != nullptr);
    curl_share_setopt(m_data, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(m_data, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_data, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(m_data, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(m_data, CURLSHOPT_LOCKFUNC, &shared_curl_data::lock);
    curl_share_setopt(m_data, CURLSHOPT_UNLOCKFUNC, &shared_curl_data::unlock);
    curl_share_setopt(m_data, CURLSHOPT_USERDATA, this);
}

shared_curl_data::~shared_curl_data() {
    curl_share_cleanup(m_data);
}

void shared_curl_data::lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<shared_curl_data*>(self)->mutex_of(data).lock();
}

void shared_curl_data::unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<shared_curl_data*>(self)->mutex_of(data).unlock();
}

std::mutex& shared_curl_data::mutex_of(curl_lock_data data) {
    return m_mutexes[static_cast<std::size_t>(data) % m_mutexes.size()];
}

}  // namespace kel::libs::core::http
