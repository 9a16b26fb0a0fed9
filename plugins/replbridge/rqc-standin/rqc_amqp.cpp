#include "rqc_amqp.h"

#include <amqp.h>
#include <amqp_framing.h>
#include <amqp_tcp_socket.h>

#include <sys/time.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace rqc_amqp {

namespace {

constexpr amqp_channel_t kChannel = 1;
constexpr int kFrameMax = 131072;
constexpr int kWaitSeconds = 30;  // bound of every wait for the broker

std::string bytes_text(amqp_bytes_t bytes) {
    return std::string(static_cast<const char*>(bytes.bytes), bytes.len);
}

// The broker's words from a reply that was not normal.
void describe_reply(const amqp_rpc_reply_t& reply, Failure* failure) {
    switch (reply.reply_type) {
        case AMQP_RESPONSE_LIBRARY_EXCEPTION:
            failure->code = reply.library_error;
            failure->cause = amqp_error_string2(reply.library_error);
            return;
        case AMQP_RESPONSE_SERVER_EXCEPTION:
            if (reply.reply.id == AMQP_CONNECTION_CLOSE_METHOD) {
                auto* close = static_cast<amqp_connection_close_t*>(reply.reply.decoded);
                failure->code = close->reply_code;
                failure->cause = bytes_text(close->reply_text);
            } else if (reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD) {
                auto* close = static_cast<amqp_channel_close_t*>(reply.reply.decoded);
                failure->code = close->reply_code;
                failure->cause = bytes_text(close->reply_text);
            } else {
                failure->cause = "unexpected answer from the broker";
            }
            return;
        default:
            failure->cause = "no answer from the broker";
    }
}

using Clock = std::chrono::steady_clock;

timeval seconds(int count) {
    timeval tv{};
    tv.tv_sec = count;
    return tv;
}

Clock::time_point deadline_from_now() {
    return Clock::now() + std::chrono::seconds(kWaitSeconds);
}

// The next frame, waited for until "deadline"; an AMQP status.
int next_frame(amqp_connection_state_t connection, Clock::time_point deadline,
               amqp_frame_t* frame) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return AMQP_STATUS_TIMEOUT;
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(left.count() / 1000000);
    limit.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
    return amqp_simple_wait_frame_noblock(connection, frame, &limit);
}

// The header and body frames that follow a basic.get-ok or a basic.return.
int read_content(amqp_connection_state_t connection, Clock::time_point deadline,
                 std::string* body) {
    amqp_frame_t frame;
    int status = next_frame(connection, deadline, &frame);
    if (status != AMQP_STATUS_OK) return status;
    if (frame.frame_type != AMQP_FRAME_HEADER) return AMQP_STATUS_UNEXPECTED_STATE;
    const uint64_t size = frame.payload.properties.body_size;
    body->clear();
    while (body->size() < size) {
        status = next_frame(connection, deadline, &frame);
        if (status != AMQP_STATUS_OK) return status;
        if (frame.frame_type != AMQP_FRAME_BODY) return AMQP_STATUS_UNEXPECTED_STATE;
        body->append(static_cast<const char*>(frame.payload.body_fragment.bytes),
                     frame.payload.body_fragment.len);
    }
    return body->size() == size ? AMQP_STATUS_OK : AMQP_STATUS_BAD_AMQP_DATA;
}

// Bounds the library's own request-and-answer calls while it lives. Only set around them:
// with a bound in force the library's other reads and writes are markedly slower.
class BoundedRpc {
  public:
    explicit BoundedRpc(amqp_connection_state_t connection) : connection_(connection) {
        timeval limit = seconds(kWaitSeconds);
        amqp_set_rpc_timeout(connection_, &limit);
    }
    ~BoundedRpc() { amqp_set_rpc_timeout(connection_, nullptr); }
    BoundedRpc(const BoundedRpc&) = delete;
    BoundedRpc& operator=(const BoundedRpc&) = delete;

  private:
    amqp_connection_state_t connection_;
};

// The failure a channel or connection close frame carries.
void describe_close(const amqp_frame_t& frame, Failure* failure) {
    amqp_rpc_reply_t reply{};
    reply.reply_type = AMQP_RESPONSE_SERVER_EXCEPTION;
    reply.reply = frame.payload.method;
    describe_reply(reply, failure);
}

bool is_close(const amqp_frame_t& frame) {
    return frame.frame_type == AMQP_FRAME_METHOD &&
           (frame.payload.method.id == AMQP_CHANNEL_CLOSE_METHOD ||
            frame.payload.method.id == AMQP_CONNECTION_CLOSE_METHOD);
}

}  // namespace

struct Link::State {
    amqp_connection_state_t connection = nullptr;
    std::set<std::string> declared;  // queues this connection has declared
    uint64_t published = 0;          // publish sequence number of the channel
    uint64_t unacked = 0;            // delivery tag of the message taken last, 0 when none

    ~State() {
        if (connection == nullptr) return;
        if (unacked != 0) amqp_basic_ack(connection, kChannel, unacked, 0);
        {
            BoundedRpc bounded(connection);  // a hung broker must not hold up the close
            amqp_channel_close(connection, kChannel, AMQP_REPLY_SUCCESS);
            amqp_connection_close(connection, AMQP_REPLY_SUCCESS);
        }
        amqp_destroy_connection(connection);
    }
};

std::string display_url(const std::string& url) {
    std::vector<char> copy(url.begin(), url.end());
    copy.push_back('\0');
    amqp_connection_info info;
    if (amqp_parse_url(copy.data(), &info) != AMQP_STATUS_OK) return "(a malformed broker URL)";
    std::string vhost = info.vhost ? info.vhost : "/";
    return std::string("amqp://") + info.user + "@" + info.host + ":" + std::to_string(info.port) +
           (vhost == "/" ? "" : "/" + vhost);
}

Link::Link(std::string url, std::string own) : url_(std::move(url)), own_(std::move(own)) {}

Link::~Link() = default;

std::unique_ptr<Link> Link::open(const std::string& url, const std::string& own, Failure* failure) {
    std::unique_ptr<Link> link(new Link(url, own));
    std::lock_guard lock(link->mutex_);
    if (!link->ensure_open(failure)) return nullptr;
    return link;
}

void Link::drop() {
    state_.reset();
}

bool Link::ensure_open(Failure* failure) {
    if (state_) return true;
    const std::string where = display_url(url_);
    std::vector<char> copy(url_.begin(), url_.end());
    copy.push_back('\0');
    amqp_connection_info info;
    if (amqp_parse_url(copy.data(), &info) != AMQP_STATUS_OK) {
        *failure = Failure{AMQP_STATUS_BAD_URL, "RQC_AMQP_URL is not an amqp:// URL",
                           amqp_error_string2(AMQP_STATUS_BAD_URL)};
        return false;
    }
    auto state = std::make_unique<State>();
    state->connection = amqp_new_connection();
    amqp_socket_t* socket = amqp_tcp_socket_new(state->connection);
    timeval limit = seconds(kWaitSeconds);
    amqp_set_handshake_timeout(state->connection, &limit);
    BoundedRpc bounded(state->connection);
    int status = socket ? amqp_socket_open_noblock(socket, info.host, info.port, &limit)
                        : AMQP_STATUS_NO_MEMORY;
    if (status != AMQP_STATUS_OK) {
        *failure =
            Failure{status, "cannot connect to the broker at " + where, amqp_error_string2(status)};
        return false;
    }
    amqp_rpc_reply_t reply = amqp_login(state->connection, info.vhost, 0, kFrameMax, 0,
                                        AMQP_SASL_METHOD_PLAIN, info.user, info.password);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what = "the broker at " + where + " refused the login";
        describe_reply(reply, failure);
        return false;
    }
    amqp_channel_open(state->connection, kChannel);
    reply = amqp_get_rpc_reply(state->connection);
    if (reply.reply_type == AMQP_RESPONSE_NORMAL) {
        amqp_confirm_select(state->connection, kChannel);
        reply = amqp_get_rpc_reply(state->connection);
    }
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what = "cannot open a channel on the broker at " + where;
        describe_reply(reply, failure);
        return false;
    }
    state_ = std::move(state);
    if (own_.empty()) return true;
    // Declaring the queue that is read keeps messages sent to it before any sender did.
    amqp_queue_declare(state_->connection, kChannel, amqp_cstring_bytes(own_.c_str()), 0, 1, 0, 0,
                       amqp_empty_table);
    reply = amqp_get_rpc_reply(state_->connection);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what = "cannot declare the queue \"" + own_ + "\" on the broker at " + where;
        describe_reply(reply, failure);
        drop();
        return false;
    }
    state_->declared.insert(own_);
    return true;
}

bool Link::declare(const std::string& queue, Failure* failure) {
    if (state_->declared.count(queue) != 0) return true;
    BoundedRpc bounded(state_->connection);
    amqp_queue_declare(state_->connection, kChannel, amqp_cstring_bytes(queue.c_str()), 0, 1, 0, 0,
                       amqp_empty_table);
    amqp_rpc_reply_t reply = amqp_get_rpc_reply(state_->connection);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what =
            "cannot declare the queue \"" + queue + "\" on the broker at " + display_url(url_);
        describe_reply(reply, failure);
        return false;
    }
    state_->declared.insert(queue);
    return true;
}

bool Link::await_confirm(uint64_t tag, const std::string& queue, Failure* failure) {
    const auto deadline = deadline_from_now();
    const std::string what = "no confirmation that the broker at " + display_url(url_) +
                             " stored a message for \"" + queue + "\"";
    bool returned = false;  // the broker had no queue to route it to
    std::string ignored;
    for (;;) {
        amqp_frame_t frame;
        int status = next_frame(state_->connection, deadline, &frame);
        if (status == AMQP_STATUS_OK && is_close(frame)) {
            failure->what = what;
            describe_close(frame, failure);
            return false;
        }
        if (status == AMQP_STATUS_OK && frame.frame_type == AMQP_FRAME_METHOD &&
            frame.payload.method.id == AMQP_BASIC_RETURN_METHOD) {
            returned = true;
            status = read_content(state_->connection, deadline, &ignored);
        }
        if (status != AMQP_STATUS_OK) {
            *failure = Failure{status, what, amqp_error_string2(status)};
            return false;
        }
        if (frame.frame_type != AMQP_FRAME_METHOD) continue;
        void* decoded = frame.payload.method.decoded;
        if (frame.payload.method.id == AMQP_BASIC_ACK_METHOD) {
            if (static_cast<amqp_basic_ack_t*>(decoded)->delivery_tag < tag) continue;
            if (!returned) return true;
            *failure = Failure{AMQP_REPLY_SUCCESS, what, "no queue took the message"};
            return false;
        }
        if (frame.payload.method.id == AMQP_BASIC_NACK_METHOD) {
            if (static_cast<amqp_basic_nack_t*>(decoded)->delivery_tag < tag) continue;
            *failure = Failure{0, what, "the broker could not store the message"};
            return false;
        }
    }
}

bool Link::publish(const std::string& queue, const void* data, size_t length, Failure* failure) {
    if (!declare(queue, failure)) return false;
    amqp_basic_properties_t properties{};
    properties._flags = AMQP_BASIC_DELIVERY_MODE_FLAG;
    properties.delivery_mode = 2;  // persistent
    amqp_bytes_t body{length, const_cast<void*>(data)};
    int status = amqp_basic_publish(state_->connection, kChannel, amqp_empty_bytes,
                                    amqp_cstring_bytes(queue.c_str()), 1, 0, &properties, body);
    if (status != AMQP_STATUS_OK) {
        *failure = Failure{
            status, "cannot publish to \"" + queue + "\" on the broker at " + display_url(url_),
            amqp_error_string2(status)};
        return false;
    }
    bool confirmed = await_confirm(++state_->published, queue, failure);
    amqp_maybe_release_buffers(state_->connection);
    return confirmed;
}

int Link::fetch(void** data, size_t* length, Failure* failure) {
    amqp_connection_state_t connection = state_->connection;
    const std::string what =
        "cannot take from \"" + own_ + "\" on the broker at " + display_url(url_);
    auto failed = [&](int status) {
        *failure = Failure{status, what, amqp_error_string2(status)};
        return -1;
    };
    if (state_->unacked != 0) {
        // The host came back for more: it has kept what it took last.
        int status = amqp_basic_ack(connection, kChannel, state_->unacked, 0);
        state_->unacked = 0;
        if (status != AMQP_STATUS_OK) return failed(status);
    }
    amqp_basic_get_t request{};
    request.queue = amqp_cstring_bytes(own_.c_str());
    int status = amqp_send_method(connection, kChannel, AMQP_BASIC_GET_METHOD, &request);
    if (status != AMQP_STATUS_OK) return failed(status);
    const auto deadline = deadline_from_now();
    amqp_frame_t frame;
    do {
        status = next_frame(connection, deadline, &frame);
        if (status != AMQP_STATUS_OK) return failed(status);
        if (is_close(frame)) {
            failure->what = what;
            describe_close(frame, failure);
            return -1;
        }
    } while (frame.frame_type != AMQP_FRAME_METHOD ||
             (frame.payload.method.id != AMQP_BASIC_GET_OK_METHOD &&
              frame.payload.method.id != AMQP_BASIC_GET_EMPTY_METHOD));
    if (frame.payload.method.id == AMQP_BASIC_GET_EMPTY_METHOD) return 0;
    uint64_t tag = static_cast<amqp_basic_get_ok_t*>(frame.payload.method.decoded)->delivery_tag;
    std::string body;
    status = read_content(connection, deadline, &body);
    amqp_maybe_release_buffers(connection);
    if (status != AMQP_STATUS_OK) return failed(status);
    void* copy = body.empty() ? nullptr : std::malloc(body.size());
    if (!body.empty() && copy == nullptr) {
        // Back to the queue at its place, for a later take.
        amqp_basic_reject(connection, kChannel, tag, 1);
        return failed(AMQP_STATUS_NO_MEMORY);
    }
    if (copy != nullptr) std::memcpy(copy, body.data(), body.size());
    *data = copy;
    *length = body.size();
    state_->unacked = tag;
    return 1;
}

template <typename Call>
auto Link::with_reconnect(Call call, Failure* failure) -> decltype(call()) {
    std::lock_guard lock(mutex_);
    // A connection kept from an earlier call may have died with a broker restarted since:
    // then one more attempt on a fresh one.
    bool kept = state_ != nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensure_open(failure)) return -1;
        auto result = call();
        if (result >= 0) return result;
        drop();
        if (!kept) break;
        kept = false;
    }
    return -1;
}

bool Link::put(const std::string& queue, const void* data, size_t length, Failure* failure) {
    return with_reconnect([&] { return publish(queue, data, length, failure) ? 1 : -1; },
                          failure) == 1;
}

int Link::take(void** data, size_t* length, Failure* failure) {
    *data = nullptr;
    *length = 0;
    return with_reconnect([&] { return fetch(data, length, failure); }, failure);
}

}  // namespace rqc_amqp
