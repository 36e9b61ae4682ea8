#pragma once
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The port's register block, laid out as on the STM32WB. */
typedef struct {
    volatile uint32_t MODER;
    volatile uint32_t OTYPER;
    volatile uint32_t OSPEEDR;
    volatile uint32_t PUPDR;
    volatile uint32_t IDR;
    volatile uint32_t ODR;
    volatile uint32_t BSRR;
    volatile uint32_t LCKR;
    volatile uint32_t AFR[2];
    volatile uint32_t BRR;
} GPIO_TypeDef;

typedef struct {
    GPIO_TypeDef* port;
    uint16_t pin;
} GpioPin;

typedef void (*GpioExtiCallback)(void* ctx);

typedef enum {
    GpioModeInput = 0,
    GpioModeOutputPushPull = 1,
    GpioModeOutputOpenDrain = 2,
    GpioModeAltFunctionPushPull = 3,
    GpioModeAltFunctionOpenDrain = 4,
    GpioModeAnalog = 5,
    GpioModeInterruptRise = 6,
    GpioModeInterruptFall = 7,
    GpioModeInterruptRiseFall = 8,
    GpioModeEventRise = 9,
    GpioModeEventFall = 10,
    GpioModeEventRiseFall = 11,
} GpioMode;

typedef enum {
    GpioPullNo = 0,
    GpioPullUp = 1,
    GpioPullDown = 2,
} GpioPull;

typedef enum {
    GpioSpeedLow = 0,
    GpioSpeedMedium = 1,
    GpioSpeedHigh = 2,
    GpioSpeedVeryHigh = 3,
} GpioSpeed;

typedef enum {
    GpioAltFnUnused = 16,
} GpioAltFn;

void furi_hal_gpio_init_simple(const GpioPin* gpio, const GpioMode mode);
void furi_hal_gpio_init(
    const GpioPin* gpio,
    const GpioMode mode,
    const GpioPull pull,
    const GpioSpeed speed);
void furi_hal_gpio_init_ex(
    const GpioPin* gpio,
    const GpioMode mode,
    const GpioPull pull,
    const GpioSpeed speed,
    const GpioAltFn alt_fn);
/** The callback runs in interrupt context on every configured edge of the pin. */
void furi_hal_gpio_add_int_callback(const GpioPin* gpio, GpioExtiCallback cb, void* ctx);
void furi_hal_gpio_enable_int_callback(const GpioPin* gpio);
void furi_hal_gpio_disable_int_callback(const GpioPin* gpio);
void furi_hal_gpio_remove_int_callback(const GpioPin* gpio);

static inline void furi_hal_gpio_write(const GpioPin* gpio, const bool state) {
    /* On the chip BSRR/BRR set or clear ODR bits; here the output register is written directly. */
    if(state) {
        gpio->port->ODR = gpio->port->ODR | gpio->pin;
    } else {
        gpio->port->ODR = gpio->port->ODR & ~(uint32_t)gpio->pin;
    }
}

static inline bool furi_hal_gpio_read(const GpioPin* gpio) {
    return (gpio->port->IDR & gpio->pin) != 0;
}

#ifdef __cplusplus
}
#endif
