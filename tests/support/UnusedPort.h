#ifndef TEST_UNUSED_PORT_H
#define TEST_UNUSED_PORT_H

// A loopback port that nobody listens at: taken and given back. 0 when no
// port could be taken.
int UnusedPort();

#endif
