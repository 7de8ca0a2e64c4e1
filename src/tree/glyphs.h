#pragma once

// The four drawing strings of one glyph set. Every element takes four columns on the console; its
// length in bytes depends on the platform's text encoding.
struct GlyphSet {
  const char* tee;    // before a subfolder that has a later sibling subfolder
  const char* end;    // before the last subfolder
  const char* bar;    // prefix segment below a subfolder that has a later sibling subfolder
  const char* blank;  // prefix segment below the last subfolder
};

const GlyphSet& SelectGlyphs(bool asciiGlyphs);
