#pragma once
#include <furi_hal_gpio.h>

#include <array>
#include <cstdint>

namespace host {

/// The GPIO ports and the external interrupt lines. Device models set input levels (from events
/// scheduled on the virtual clock, i.e. in interrupt context); an edge on a pin configured for
/// interrupts calls the registered callback right there, in interrupt context.
class GpioBus {
public:
    GpioBus();
    GpioBus(const GpioBus&) = delete;
    GpioBus& operator=(const GpioBus&) = delete;

    /// Applies a level to a pin. Fires the pin's interrupt callback on a matching edge. The
    /// device reads it from the IDR bit unless the pin is in analog mode (every external pin at
    /// boot), where the bit reads 0 whatever is applied.
    void set_input(const GpioPin& pin, bool level);
    /// What the device reads (the IDR bit).
    bool input(const GpioPin& pin) const;
    /// The level applied to the pin (by a device model or the pin's pull).
    bool level(const GpioPin& pin) const;
    /// The level the device drives (ODR bit).
    bool output(const GpioPin& pin) const;
    GpioMode mode(const GpioPin& pin) const;
    GpioPull pull(const GpioPin& pin) const;
    bool has_interrupt_callback(const GpioPin& pin) const;
    /// Number of interrupt callbacks run so far.
    std::uint64_t interrupts_fired() const { return fired_; }

    // Platform side.
    void init(const GpioPin& pin, GpioMode mode, GpioPull pull, GpioSpeed speed);
    void add_int_callback(const GpioPin& pin, GpioExtiCallback cb, void* ctx);
    void remove_int_callback(const GpioPin& pin);
    void enable_int_callback(const GpioPin& pin, bool enabled);
    /// Clears every register and callback.
    void reset();

private:
    struct PinConfig {
        GpioMode mode = GpioModeAnalog;
        GpioPull pull = GpioPullNo;
        GpioSpeed speed = GpioSpeedLow;
    };
    struct Exti {
        GpioExtiCallback callback = nullptr;
        void* context = nullptr;
        bool enabled = false;
        const GPIO_TypeDef* port = nullptr;
    };
    static int port_index(const GPIO_TypeDef* port);
    static int pin_number(std::uint16_t mask);
    void update_input_register(int port, int number);

    std::array<std::array<PinConfig, 16>, 8> config_{};
    std::array<std::array<bool, 16>, 8> levels_{};
    std::array<Exti, 16> exti_{};
    std::uint64_t fired_ = 0;
};

} // namespace host
