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

timeval seconds(int count) {
    timeval tv{};
    tv.tv_sec = count;
    return tv;
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
        amqp_channel_close(connection, kChannel, AMQP_REPLY_SUCCESS);
        amqp_connection_close(connection, AMQP_REPLY_SUCCESS);
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
    amqp_set_rpc_timeout(state->connection, &limit);
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
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(kWaitSeconds);
    const std::string what = "no confirmation that the broker at " + display_url(url_) +
                             " stored a message for \"" + queue + "\"";
    bool returned = false;  // the broker had no queue to route it to
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            *failure = Failure{AMQP_STATUS_TIMEOUT, what, amqp_error_string2(AMQP_STATUS_TIMEOUT)};
            return false;
        }
        timeval limit{};
        limit.tv_sec = static_cast<time_t>(left.count() / 1000000);
        limit.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
        amqp_frame_t frame;
        int status = amqp_simple_wait_frame_noblock(state_->connection, &frame, &limit);
        if (status != AMQP_STATUS_OK) {
            *failure = Failure{status, what, amqp_error_string2(status)};
            return false;
        }
        if (frame.frame_type != AMQP_FRAME_METHOD) continue;
        void* decoded = frame.payload.method.decoded;
        switch (frame.payload.method.id) {
            case AMQP_BASIC_ACK_METHOD: {
                auto* ack = static_cast<amqp_basic_ack_t*>(decoded);
                if (ack->delivery_tag < tag) continue;
                if (!returned) return true;
                *failure = Failure{AMQP_REPLY_SUCCESS, what, "no queue took the message"};
                return false;
            }
            case AMQP_BASIC_NACK_METHOD:
                if (static_cast<amqp_basic_nack_t*>(decoded)->delivery_tag < tag) continue;
                *failure = Failure{0, what, "the broker could not store the message"};
                return false;
            case AMQP_BASIC_RETURN_METHOD: {
                amqp_message_t message;
                amqp_read_message(state_->connection, frame.channel, &message, 0);
                amqp_destroy_message(&message);
                returned = true;
                continue;
            }
            case AMQP_CHANNEL_CLOSE_METHOD:
            case AMQP_CONNECTION_CLOSE_METHOD: {
                amqp_rpc_reply_t reply{};
                reply.reply_type = AMQP_RESPONSE_SERVER_EXCEPTION;
                reply.reply = frame.payload.method;
                failure->what = what;
                describe_reply(reply, failure);
                return false;
            }
            default:
                continue;
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
    if (state_->unacked != 0) {
        // The host came back for more: it has kept what it took last.
        int status = amqp_basic_ack(connection, kChannel, state_->unacked, 0);
        state_->unacked = 0;
        if (status != AMQP_STATUS_OK) {
            *failure = Failure{status, what, amqp_error_string2(status)};
            return -1;
        }
    }
    amqp_rpc_reply_t reply =
        amqp_basic_get(connection, kChannel, amqp_cstring_bytes(own_.c_str()), 0);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what = what;
        describe_reply(reply, failure);
        return -1;
    }
    if (reply.reply.id != AMQP_BASIC_GET_OK_METHOD) return 0;
    uint64_t tag = static_cast<amqp_basic_get_ok_t*>(reply.reply.decoded)->delivery_tag;
    amqp_message_t message;
    reply = amqp_read_message(connection, kChannel, &message, 0);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        failure->what = what;
        describe_reply(reply, failure);
        return -1;
    }
    void* copy = message.body.len > 0 ? std::malloc(message.body.len) : nullptr;
    if (message.body.len > 0 && copy == nullptr) {
        amqp_destroy_message(&message);
        // Back to the queue at its place, for a later take.
        amqp_basic_reject(connection, kChannel, tag, 1);
        *failure = Failure{AMQP_STATUS_NO_MEMORY, what, amqp_error_string2(AMQP_STATUS_NO_MEMORY)};
        return -1;
    }
    if (copy != nullptr) std::memcpy(copy, message.body.bytes, message.body.len);
    *data = copy;
    *length = message.body.len;
    amqp_destroy_message(&message);
    amqp_maybe_release_buffers(connection);
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
