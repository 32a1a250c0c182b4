#pragma once
// An HTTP server that answers requests sent back to back on one connection (HTTP/1.1
// pipelining) one after the other, in order.
//
// The HTTP library's own server reads each request through a stream of its own with a read
// buffer; bytes of a following request that arrived in the same read are dropped with that
// stream, so a client that pipelines (the engine's web seed client does) gets the answer to a
// later request where it waits for an earlier one, and drops the connection. Here one stream
// lives as long as the connection, so what it has read ahead stays for the next request.
#include <httplib.h>

namespace pelmora::service {

class PipelinedServer : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t sock) override;
};

}  // namespace pelmora::service
