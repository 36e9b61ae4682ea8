#include "frame.h"

uint8_t checksum(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for(size_t i = 0; i < length; i++) sum = (uint8_t)(sum + data[i]);
    return sum;
}

uint16_t crc16_genibus(const uint8_t* data, size_t length) {
    if(length == 0) return 0x0000;
    uint16_t crc = 0xFFFF;
    for(size_t i = 0; i < length; i++) {
        crc ^= (uint16_t)(data[i] << 8);
        for(int bit = 0; bit < 8; bit++) {
            crc = (crc & 0x8000) ? (uint16_t)((crc << 1) ^ 0x1021) : (uint16_t)(crc << 1);
        }
    }
    return (uint16_t)(crc ^ 0xFFFF);
}

uint8_t* frame_begin(uint8_t* frame, uint8_t command, uint16_t payload_length) {
    frame[0] = FRAME_HEADER;
    frame[FRAME_POS_TYPE] = 0x00;
    frame[FRAME_POS_COMMAND] = command;
    frame_put_u16(frame + FRAME_POS_PL, payload_length);
    return frame + FRAME_POS_PAYLOAD;
}

uint32_t frame_seal(uint8_t* frame) {
    const uint32_t payload_length = frame_get_payload_length(frame);
    frame[FRAME_POS_PAYLOAD + payload_length] =
        checksum(frame + FRAME_POS_TYPE, 4 + payload_length);
    frame[FRAME_POS_PAYLOAD + payload_length + 1] = FRAME_END;
    return frame_length(payload_length);
}
