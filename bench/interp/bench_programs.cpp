#include "bench/interp/bench_programs.h"

#include <algorithm>
#include <functional>

namespace {

// FOR v = from TO to (step 1) around the body: v = from - 1, the step at the head, NEXT
// jumping back; the temporary t is used for the start value.
void ForLoop(ImageBuilder& b, int32_t v, int32_t from, int32_t to, const std::function<void()>& body) {
  int32_t one = b.Int(1);
  b.Emit({91, 10000, from, one});
  b.Emit({151, v, 10000});
  int32_t head = b.Here();
  int32_t exitWord = b.Emit({7, v, to, one, 0}) + 4;
  body();
  b.Emit({8, v, head});
  b.Patch(exitWord, b.Here());
}

std::string Lua(const std::string& body) { return body + "\n"; }

}  // namespace

BenchProgram MakeEmptyProgram() { return {"empty", ImageBuilder{}, ""}; }

std::vector<BenchProgram> MakeBenchPrograms(double scale) {
  auto n = [scale](double v) { return int32_t(v * scale); };
  std::vector<BenchProgram> out;

  {  // FOR i = 1 TO n : NEXT i
    BenchProgram p{"empty for loop", {}, ""};
    ImageBuilder& b = p.image;
    int32_t N = n(100000000);
    int32_t i = b.IntVar();
    ForLoop(b, i, b.Int(1), b.Int(N), [] {});
    b.Emit({301, i});  // the loop variable ends one past the end
    p.lua = Lua("local n = " + std::to_string(N) + "\nfor i = 1, n do end\nprint(n + 1)");
    out.push_back(std::move(p));
  }
  {  // a = a + i
    BenchProgram p{"integer add loop", {}, ""};
    ImageBuilder& b = p.image;
    int32_t N = n(50000000);
    int32_t i = b.IntVar(), a = b.IntVar();
    ForLoop(b, i, b.Int(1), b.Int(N), [&] {
      b.Emit({81, 10001, a, i});
      b.Emit({151, a, 10001});
    });
    b.Emit({301, a});
    p.lua = Lua("local n = " + std::to_string(N) + "\nlocal a = 0\nfor i = 1, n do a = a + i end\nprint(a)");
    out.push_back(std::move(p));
  }
  {  // f# = f# * 0.999 + 0.5
    BenchProgram p{"float expression loop", {}, ""};
    ImageBuilder& b = p.image;
    int32_t N = n(30000000);
    int32_t i = b.IntVar(), f = b.FloatVar(), c1 = b.Float(0.999f), c2 = b.Float(0.5f);
    ForLoop(b, i, b.Int(1), b.Int(N), [&] {
      b.Emit({76, 11000, f, c1});
      b.Emit({86, 11001, 11000, c2});
      b.Emit({152, f, 11001});
    });
    b.Emit({302, f});
    p.lua = Lua("local n = " + std::to_string(N) + "\nlocal f = 0.0\nfor i = 1, n do f = f * 0.999 + 0.5 end\nprint(f)");
    out.push_back(std::move(p));
  }
  {  // s = add(i, 1) with FUNCTION add(a, b) ENDFUNCTION a + b
    BenchProgram p{"two-argument function", {}, ""};
    ImageBuilder& b = p.image;
    int32_t N = n(10000000);
    int32_t i = b.IntVar(), s = b.IntVar(), two = b.Int(2), one = b.Int(1);
    int32_t pa = b.IntVar(1), pb = b.IntVar(1);
    int32_t site = 0;
    ForLoop(b, i, one, b.Int(N), [&] {
      site = b.Emit({21, 0, 10001, two, i, one}) + 1;
      b.Emit({151, s, 10001});
    });
    b.Emit({301, s});
    b.Emit({0});
    int32_t entry = b.Emit({26, pa, pb, 1}) + 1;
    b.Emit({81, 10050, pa, pb});
    b.Emit({23, 10050});
    b.Patch(site, 37000 + entry);
    p.lua = Lua("local function add(a, b) return a + b end\nlocal n = " + std::to_string(N) +
                "\nlocal s = 0\nfor i = 1, n do s = add(i, 1) end\nprint(s)");
    out.push_back(std::move(p));
  }
  {  // FOR k = 1 TO n: r = fib(27): NEXT
    BenchProgram p{"recursive fib(27)", {}, ""};
    ImageBuilder& b = p.image;
    int32_t R = std::max(1, n(30));
    int32_t r = b.IntVar(), k = b.IntVar(), one = b.Int(1), two = b.Int(2), arg = b.Int(27);
    int32_t nv = b.IntVar(1);
    std::vector<int32_t> sites;
    ForLoop(b, k, one, b.Int(R), [&] {
      sites.push_back(b.Emit({21, 0, 10001, one, arg}) + 1);
      b.Emit({151, r, 10001});
    });
    b.Emit({301, r});
    b.Emit({0});
    int32_t entry = b.Emit({26, nv, 1}) + 1;
    int32_t test = b.Emit({115, 10050, nv, two});
    b.Emit({1, 10050, 0});
    b.Emit({23, nv});
    b.Patch(test + 6, b.Here());
    b.Emit({91, 10051, nv, one});
    sites.push_back(b.Emit({21, 0, 10052, one, 10051}) + 1);
    b.Emit({91, 10053, nv, two});
    sites.push_back(b.Emit({21, 0, 10054, one, 10053}) + 1);
    b.Emit({81, 10055, 10052, 10054});
    b.Emit({23, 10055});
    for (int32_t site : sites) b.Patch(site, 37000 + entry);
    p.lua = Lua(
        "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
        "local r\nfor k = 1, " + std::to_string(R) + " do r = fib(27) end\nprint(r)");
    out.push_back(std::move(p));
  }
  {  // The Byte Sieve, 8191 flags.
    BenchProgram p{"byte sieve", {}, ""};
    ImageBuilder& b = p.image;
    int32_t R = n(300);
    int32_t iter = b.IntVar(), i = b.IntVar(), k = b.IntVar(), prime = b.IntVar(), count = b.IntVar();
    int32_t flags = b.IntVar(), zero = b.Int(0), one = b.Int(1), three = b.Int(3), top = b.Int(8190);
    b.Emit({501, flags, top});
    ForLoop(b, iter, one, b.Int(R), [&] {
      b.Emit({151, count, zero});
      ForLoop(b, i, zero, top, [&] { b.Emit({561, flags, i, one}); });
      ForLoop(b, i, zero, top, [&] {
        b.Emit({661, 10001, flags, i});
        b.Emit({101, 10002, 10001, one});
        int32_t ifJump = b.Emit({1, 10002, 0}) + 2;
        b.Emit({81, 10003, i, i});
        b.Emit({81, 10004, 10003, three});
        b.Emit({151, prime, 10004});
        b.Emit({81, 10005, i, prime});
        b.Emit({151, k, 10005});
        int32_t whileHead = b.Here();
        b.Emit({117, 10006, k, top});
        int32_t whileJump = b.Emit({9, 10006, 0}) + 2;
        b.Emit({561, flags, k, zero});
        b.Emit({81, 10007, k, prime});
        b.Emit({151, k, 10007});
        b.Emit({10, whileHead});
        b.Patch(whileJump, b.Here());
        b.Emit({81, 10008, count, one});
        b.Emit({151, count, 10008});
        b.Patch(ifJump, b.Here());
      });
    });
    b.Emit({301, count});
    p.lua = Lua("local flags = {}\nlocal count\nfor iter = 1, " + std::to_string(R) +
                " do\n  count = 0\n  for i = 0, 8190 do flags[i] = 1 end\n  for i = 0, 8190 do\n"
                "    if flags[i] == 1 then\n      local prime = i + i + 3\n      local k = i + prime\n"
                "      while k <= 8190 do flags[k] = 0; k = k + prime end\n      count = count + 1\n"
                "    end\n  end\nend\nprint(count)");
    out.push_back(std::move(p));
  }
  {  // DIM a(n): fill a(i) = i, then s = s + a(i), repeated.
    BenchProgram p{"array fill and sum", {}, ""};
    ImageBuilder& b = p.image;
    int32_t R = n(200), N = 99999;
    int32_t rep = b.IntVar(), i = b.IntVar(), s = b.IntVar(), a = b.IntVar(), top = b.Int(N), zero = b.Int(0);
    b.Emit({501, a, top});
    ForLoop(b, rep, b.Int(1), b.Int(R), [&] {
      ForLoop(b, i, zero, top, [&] { b.Emit({561, a, i, i}); });
      ForLoop(b, i, zero, top, [&] {
        b.Emit({661, 10001, a, i});
        b.Emit({81, 10002, s, 10001});
        b.Emit({151, s, 10002});
      });
    });
    b.Emit({301, s});
    p.lua = Lua("local a = {}\nlocal s = 0\nfor rep = 1, " + std::to_string(R) + " do\n  for i = 0, " +
                std::to_string(N) + " do a[i] = i end\n  for i = 0, " + std::to_string(N) +
                " do s = s + a[i] end\nend\nprint(s)");
    out.push_back(std::move(p));
  }
  {  // s$ = s$ + "x" : l = LEN(s$) : m$ = MID$(s$, l) : IF l >= 200 THEN s$ = ""
    BenchProgram p{"string append, mid$, len", {}, ""};
    ImageBuilder& b = p.image;
    int32_t N = n(5000000);
    int32_t i = b.IntVar(), l = b.IntVar(), s = b.StringVar(), m = b.StringVar();
    int32_t x = b.Text("x"), empty = b.Text(""), limit = b.Int(200);
    ForLoop(b, i, b.Int(1), b.Int(N), [&] {
      b.Emit({87, 12000, s, x});
      b.Emit({153, s, 12000});
      b.Emit({234, 10001, s});
      b.Emit({151, l, 10001});
      b.Emit({237, 12001, s, l});
      b.Emit({153, m, 12001});
      b.Emit({113, 10002, l, limit});
      int32_t ifJump = b.Emit({1, 10002, 0}) + 2;
      b.Emit({153, s, empty});
      b.Patch(ifJump, b.Here());
    });
    b.Emit({301, l});
    b.Emit({303, m});
    p.lua = Lua("local s, m, l = '', '', 0\nfor i = 1, " + std::to_string(N) +
                " do\n  s = s .. 'x'\n  l = #s\n  m = string.sub(s, l, l)\n  if l >= 200 then s = '' end\nend\nprint(l)\nprint(m)");
    out.push_back(std::move(p));
  }
  return out;
}
