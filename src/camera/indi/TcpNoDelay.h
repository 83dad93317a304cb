#pragma once

namespace nebulor::camera::indi {

// Turns off Nagle's algorithm on this process's TCP sockets connected to the
// given remote port. libindi 1.9.9 keeps its client socket to itself, so it
// is found among the process's open descriptors. Small requests then leave
// at once instead of waiting on delayed acknowledgements, which halves the
// time from exposure to image on a local server. Returns how many sockets
// were changed.
int setTcpNoDelayTowards(int port);

}  // namespace nebulor::camera::indi
