// The device's screen on a canvas: 128x64 pixels from the frame's display bytes (8 pages of 128
// columns, bit 0 on top), in the catalog screenshots' colours, at an integer zoom.

export const WIDTH = 128;
export const HEIGHT = 64;
const BACKGROUND = [0xfe, 0x8a, 0x2c];
const PIXEL = [0, 0, 0];

export class Screen {
  constructor(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d');
    this.small = document.createElement('canvas');
    this.small.width = WIDTH;
    this.small.height = HEIGHT;
    this.smallContext = this.small.getContext('2d');
    this.image = this.smallContext.createImageData(WIDTH, HEIGHT);
    this.zoom = 4;
    this.bits = new Uint8Array(WIDTH * HEIGHT / 8);
  }

  setZoom(zoom) {
    this.zoom = zoom;
    this.canvas.width = WIDTH * zoom;
    this.canvas.height = HEIGHT * zoom;
    this.paint();
  }

  /// Whether the pixel at (x, y) is set (dark).
  pixel(x, y) {
    return (this.bits[(y >> 3) * WIDTH + x] >> (y & 7)) & 1;
  }

  draw(bytes) {
    this.bits.set(bytes.subarray(0, this.bits.length));
    const data = this.image.data;
    for (let y = 0; y < HEIGHT; ++y) {
      for (let x = 0; x < WIDTH; ++x) {
        const colour = this.pixel(x, y) ? PIXEL : BACKGROUND;
        const i = (y * WIDTH + x) * 4;
        data[i] = colour[0];
        data[i + 1] = colour[1];
        data[i + 2] = colour[2];
        data[i + 3] = 255;
      }
    }
    this.smallContext.putImageData(this.image, 0, 0);
    this.paint();
  }

  paint() {
    this.context.imageSmoothingEnabled = false;
    this.context.drawImage(this.small, 0, 0, WIDTH * this.zoom, HEIGHT * this.zoom);
  }
}
