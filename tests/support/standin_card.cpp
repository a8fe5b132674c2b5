// A sound card for the tests, as an ALSA external plugin: it grants only
// the access types, formats, channel counts and rates its configuration
// lists, as real cards do, and stores every byte it is handed in a file and
// what it was set to in another. It takes frames as fast as they come, or,
// paced, plays them in real time, as a card does; it may then report its
// position only once a period, as some cards do, or hold back its last
// frames until it is told that no more come, as a sound server may.
//
//   pcm_type.standin { lib "/abs/path/libstandin_card.so" }
//   pcm.card48 {
//     type standin
//     rates "48000"                 # or "44100 48000 96000"
//     formats "S16_LE S32_LE"       # ALSA's format names
//     channels "2"
//     access "RW_INTERLEAVED MMAP_INTERLEAVED"   # ALSA's access names
//     capture "/abs/out.raw"        # and "/abs/out.raw.params"
//     paced "1"                     # real time; "/abs/out.raw.timing" says
//                                   # when it started and its longest gap
//     position "period"             # reported once a period
//     holdback "1228"               # frames kept until the drain
//     unknown "300"                 # ms after each start but the first
//                                   # that its delay reads 0
//     linger "150"                  # ms its drain goes on after a drop
//   }
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

struct Card {
  snd_pcm_ioplug_t io{};
  std::string capture;
  FILE* out = nullptr;
  snd_pcm_uframes_t position = 0;  // frames taken since the last prepare

  // Paced: frames are played at the rate from the start on. The player may
  // ask for the position while another thread drains.
  bool paced = false, perPeriod = false;
  snd_pcm_uframes_t holdback = 0;
  // As a sound server's plugin: what it holds reads 0 for a while after
  // each start but the first, and a dropped drain returns only a while
  // after the drop.
  double unknownSeconds = 0, lingerSeconds = 0;
  int starts = 0;
  std::mutex lock;
  bool running = false, draining = false;
  double played = 0;        // frames played since the start
  double updated = 0;       // when `played` was brought up to date
  double stalled = -1;      // since when nothing was left to play, or -1
  double started = 0, longestGap = 0;
};

// Plays what the time since the last update allows, up to what is there to
// be played. A stall that ends because frames came is a gap in the sound.
void Advance(Card* card) {
  const double now = Now();
  if (card->running) {
    const snd_pcm_uframes_t held = card->draining ? 0 : card->holdback;
    const double playable = card->position > held ? double(card->position - held) : 0;
    if (card->stalled >= 0 && playable > card->played) {
      card->longestGap = std::max(card->longestGap, now - card->stalled);
      card->stalled = -1;
    }
    card->played += (now - card->updated) * card->io.rate;
    if (card->played >= playable) {
      if (card->stalled < 0) card->stalled = now - (card->played - playable) / card->io.rate;
      card->played = playable;
    }
  }
  card->updated = now;
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  // Unpaced, every frame handed over is taken at once.
  if (!card->paced) return static_cast<snd_pcm_sframes_t>(card->position % io->buffer_size);
  std::lock_guard<std::mutex> hold(card->lock);
  Advance(card);
  auto frames = static_cast<snd_pcm_uframes_t>(card->played);
  if (card->perPeriod) frames -= frames % io->period_size;
  return static_cast<snd_pcm_sframes_t>(frames % io->buffer_size);
}

// Paced, the card's descriptor is a timer: the writer is woken every
// millisecond to see whether there is room.
int PollRevents(snd_pcm_ioplug_t* io, struct pollfd* fds, unsigned int, unsigned short* revents) {
  uint64_t expirations;
  if (read(fds[0].fd, &expirations, sizeof expirations) < 0) expirations = 0;
  *revents = io->state == SND_PCM_STATE_OPEN ? POLLERR : POLLOUT;
  return 0;
}

// Stored interleaved, whatever the access: sample by sample from the areas.
snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  auto* card = static_cast<Card*>(io->private_data);
  const size_t sampleBytes = snd_pcm_format_physical_width(io->format) / 8;
  for (snd_pcm_uframes_t frame = offset; frame < offset + size && card->out != nullptr; ++frame) {
    for (unsigned channel = 0; channel < io->channels; ++channel) {
      const snd_pcm_channel_area_t& area = areas[channel];
      fwrite(static_cast<const char*>(area.addr) + (area.first + frame * area.step) / 8,
             sampleBytes, 1, card->out);
    }
  }
  std::lock_guard<std::mutex> hold(card->lock);
  Advance(card);
  card->position += size;
  return static_cast<snd_pcm_sframes_t>(size);
}

int Start(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  std::lock_guard<std::mutex> hold(card->lock);
  card->running = true;
  card->started = card->updated = Now();
  ++card->starts;
  return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  std::lock_guard<std::mutex> hold(card->lock);
  card->running = false;
  return 0;
}

int Prepare(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  std::lock_guard<std::mutex> hold(card->lock);
  card->position = 0;
  card->played = 0;
  card->stalled = -1;
  card->draining = false;
  return 0;
}

// Told that no more frames come: what was held back is played too. Returns
// when every frame was played, or when the player dropped the rest (after
// the linger).
int Drain(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(card->lock);
      card->draining = true;
      if (!card->running && card->position > 0)
        card->running = true, card->started = card->updated = Now(), ++card->starts;
      Advance(card);
      if (io->state != SND_PCM_STATE_DRAINING) break;
      if (card->played >= card->position) return 0;
    }
    usleep(1000);
  }
  usleep(static_cast<useconds_t>(card->lingerSeconds * 1e6));
  return 0;
}

int Delay(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* delay) {
  auto* card = static_cast<Card*>(io->private_data);
  std::lock_guard<std::mutex> hold(card->lock);
  Advance(card);
  auto played = static_cast<snd_pcm_uframes_t>(card->played);
  if (card->perPeriod) played -= played % io->period_size;
  *delay = static_cast<snd_pcm_sframes_t>(card->position - played);
  if (!card->running || (card->starts > 1 && Now() - card->started < card->unknownSeconds))
    *delay = 0;
  return 0;
}

// What was granted, for the test to read: access, format, channels, rate.
int HwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*) {
  auto* card = static_cast<Card*>(io->private_data);
  if (FILE* params = fopen((card->capture + ".params").c_str(), "w")) {
    fprintf(params, "%s %s %u %u\n", snd_pcm_access_name(io->access),
            snd_pcm_format_name(io->format), io->channels, io->rate);
    fclose(params);
  }
  if (card->out == nullptr) card->out = fopen(card->capture.c_str(), "ab");
  return 0;
}

int Close(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  if (card->out != nullptr) fclose(card->out);
  if (card->paced) {
    if (FILE* timing = fopen((card->capture + ".timing").c_str(), "w")) {
      fprintf(timing, "started %.6f\nlongest gap %.1f ms\n", card->started,
              card->longestGap * 1000);
      fclose(timing);
    }
  }
  close(io->poll_fd);
  delete card;
  return 0;
}

snd_pcm_ioplug_callback_t Callbacks(bool paced) {
  snd_pcm_ioplug_callback_t c{};
  c.start = Start;
  c.stop = Stop;
  c.pointer = Pointer;
  c.transfer = Transfer;
  c.prepare = Prepare;
  c.hw_params = HwParams;
  c.close = Close;
  if (paced) {
    c.drain = Drain;
    c.delay = Delay;
    c.poll_revents = PollRevents;
  }
  return c;
}
const snd_pcm_ioplug_callback_t kUnpaced = Callbacks(false), kPaced = Callbacks(true);

// The numbers a word list names: `value` turns a word into one, or < 0.
template <typename F>
std::vector<unsigned> Values(const std::string& words, F value) {
  std::vector<unsigned> values;
  std::istringstream in(words);
  for (std::string word; in >> word;)
    if (value(word) >= 0) values.push_back(static_cast<unsigned>(value(word)));
  return values;
}

int AccessValue(const std::string& name) {
  for (int a = 0; a <= SND_PCM_ACCESS_LAST; ++a)
    if (name == snd_pcm_access_name(static_cast<snd_pcm_access_t>(a))) return a;
  return -1;
}

int Restrict(snd_pcm_ioplug_t* io, int type, const std::vector<unsigned>& list) {
  return snd_pcm_ioplug_set_param_list(io, type, static_cast<unsigned>(list.size()), list.data());
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(standin) {
  // What a card of ours takes unless its entry says otherwise.
  std::string settings[10] = {"44100 48000", "S16_LE S24_3LE S32_LE", "1 2",
                              "RW_INTERLEAVED MMAP_INTERLEAVED", "", "0", "", "0", "0", "0"};
  const char* keys[10] = {"rates",   "formats", "channels", "access",  "capture",
                          "paced",   "position", "holdback", "unknown", "linger"};
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* entry = snd_config_iterator_entry(i);
    const char* id = nullptr;
    const char* text = nullptr;
    snd_config_get_id(entry, &id);
    for (int k = 0; k < 10; ++k)
      if (strcmp(id, keys[k]) == 0 && snd_config_get_string(entry, &text) == 0) settings[k] = text;
  }
  (void)root;

  auto* card = new Card;
  card->capture = settings[4];
  card->paced = settings[5] == "1";
  card->perPeriod = settings[6] == "period";
  card->holdback = std::stoul(settings[7]);
  card->unknownSeconds = std::stod(settings[8]) / 1000;
  card->lingerSeconds = std::stod(settings[9]) / 1000;
  card->io.version = SND_PCM_IOPLUG_VERSION;
  card->io.name = "kestrune test card";
  card->io.callback = card->paced ? &kPaced : &kUnpaced;
  card->io.private_data = card;
  if (card->paced) {
    card->io.poll_fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    const itimerspec everyMillisecond{{0, 1000000}, {0, 1000000}};
    timerfd_settime(card->io.poll_fd, 0, &everyMillisecond, nullptr);
    card->io.poll_events = POLLIN;
  } else {
    card->io.poll_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // always writable
    card->io.poll_events = POLLOUT;
  }
  int rc = snd_pcm_ioplug_create(&card->io, name, stream, mode);
  if (rc < 0) {
    close(card->io.poll_fd);
    delete card;
    return rc;
  }
  auto number = [](const std::string& w) { return std::stoi(w); };
  auto format = [](const std::string& w) {
    return static_cast<int>(snd_pcm_format_value(w.c_str()));
  };
  const unsigned bytes[2] = {64, 4 << 20}, periods[2] = {2, 64};
  if ((rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_RATE, Values(settings[0], number))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_FORMAT, Values(settings[1], format))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_CHANNELS, Values(settings[2], number))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_ACCESS, Values(settings[3], AccessValue))) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, bytes[0],
                                            bytes[1])) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, bytes[0],
                                            bytes[1])) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIODS, periods[0],
                                            periods[1])) < 0) {
    snd_pcm_ioplug_delete(&card->io);
    return rc;
  }
  *pcmp = card->io.pcm;
  return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(standin)
}
