// Sending the selected command to the open device.
#ifndef VELKOR_DEVICE_SENDER_H
#define VELKOR_DEVICE_SENDER_H

// Writes the selected entry's bytes, framed by prefix and suffix, and logs the outcome.
void SendSelectedCommand();

#endif
