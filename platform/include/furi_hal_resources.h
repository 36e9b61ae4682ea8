#pragma once
#include <furi_hal_gpio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* External header pins. */
extern const GpioPin gpio_ext_pc0;  /* pin 16 */
extern const GpioPin gpio_ext_pc1;  /* pin 15 */
extern const GpioPin gpio_ext_pc3;  /* pin 7 */
extern const GpioPin gpio_ext_pb2;  /* pin 6 */
extern const GpioPin gpio_ext_pb3;  /* pin 5 */
extern const GpioPin gpio_ext_pa4;  /* pin 4 */
extern const GpioPin gpio_ext_pa6;  /* pin 3 */
extern const GpioPin gpio_ext_pa7;  /* pin 2 */
extern const GpioPin gpio_usart_tx; /* pin 13 */
extern const GpioPin gpio_usart_rx; /* pin 14 */

#ifdef __cplusplus
}
#endif
