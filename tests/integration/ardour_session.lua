-- Builds an Ardour session with one stereo track through Fadecrest, saved for Ardour to load.
--
-- ardour7-lua ardour_session.lua <session-dir> <session-name> <sample-rate> <audio-file> <frames>
--   the track plays the file through Fadecrest at its shortest interval and duration, for
--   ardour-export to bounce
-- ardour7-lua ardour_session.lua <session-dir> <session-name> <sample-rate> editor
--   Ardour opens the plug-in's editor window when it loads the session, as if the user had left it open
--
-- The Lua session tool can neither import audio (that lives in the editor) nor open windows, so once
-- the session is saved both are written into its file by hand.

local dir, name, rate, audio, frames = arg[1], arg[2], tonumber(arg[3]), arg[4], tonumber(arg[5])
local editor = audio == "editor"
assert(dir and name and rate and (editor or frames),
       "usage: session-dir session-name rate (audio-file frames | editor)")

local session = create_session(dir, name, rate)
assert(session, "cannot create the session")

local tracks = session:new_audio_track(2, 2, nil, 1, "Audio", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true, false)
assert(tracks:size() == 1, "cannot add the track")
local track = tracks:front()
local playlist = track:playlist():name()

-- Ardour wires new tracks to the master bus from another thread, which may not have run by the
-- time the session is saved; a track saved unwired exports silence. Wire it here.
for channel = 0, 1 do
  local from = track:output():audio(channel)
  local to = session:master_out():input():audio(channel):name()
  if not from:connected_to(to) then from:connect(to) end
  assert(from:connected_to(to), "cannot connect the track to the master bus")
end

-- The module is only found here if the scanner has already indexed it under $HOME.
local effect = ARDOUR.LuaAPI.new_plugin(session, "Fadecrest", ARDOUR.PluginType.LXVST, "")
assert(not effect:isnil(), "Fadecrest is not among the known plug-ins")
assert(track:add_processor_by_index(effect, 0, nil, true) == 0, "cannot insert Fadecrest")
local window = "P-" .. track:to_stateful():id():to_s() .. "-" .. effect:to_stateful():id():to_s()
if not editor then
  -- Interval and duration at 0 for a bounce: a one-second pass, then a one-second fade.
  for parameter = 0, 1 do
    assert(ARDOUR.LuaAPI.set_processor_param(effect, parameter, 0)
           and ARDOUR.LuaAPI.get_processor_param(effect, parameter, true) == 0, "cannot set parameter " .. parameter)
  end
end

-- Positions in the session file are in the engine's time units; let the session convert.
local length = Temporal.timepos_t(frames or 0):str()
assert(session:save_state("", false, false, false, false, false), "cannot save the session")
close_session()

local file = dir .. "/" .. name .. ".ardour"
local input = assert(io.open(file))
local xml = input:read("a")
input:close()

-- Each pattern captures the text it keeps; the addition follows the capture.
local function append(pattern, addition)
  local count
  xml, count = xml:gsub(pattern, function(kept) return kept .. addition end)
  assert(count == 1, "the saved session has no single match for " .. pattern)
end

local function attribute(text) return (text:gsub("&", "&amp;"):gsub('"', "&quot;"):gsub("<", "&lt;")) end

local function source(id, channel)
  return '<Source name="' .. attribute(audio) .. '" type="audio" flags="" id="' .. id
      .. '" natural-position="a0" channel="' .. channel .. '" origin="' .. attribute(audio) .. '" gain="1"/>'
end

-- Region fades off, so every exported frame is the file's frame through the track.
local region = 'muted="0" opaque="1" locked="0" video-locked="0" sync-marked="0" left-of-split="0" '
    .. 'right-of-split="0" hidden="0" position-locked="0" valid-transients="0" start="a0" length="'
    .. length .. '@a0" sync-position="a0" ancestral-start="a0" ancestral-length="a0@a0" stretch="1" '
    .. 'shift="1" layering-index="0" tags="" contents="0" envelope-active="0" default-fade-in="0" '
    .. 'default-fade-out="0" fade-in-active="0" fade-out-active="0" scale-amplitude="1" type="audio" '
    .. 'first-edit="nothing" source-0="900000001" source-1="900000002" master-source-0="900000001" '
    .. 'master-source-1="900000002" channels="2"'

if editor then
  -- Ardour keeps the windows it shows in the session's own UI state; the plug-in's window, with its
  -- own editor rather than Ardour's generic one, is opened on load when it is marked visible.
  append("(\n)</Session>%s*$", '<Extra><UI><Window name="' .. window .. '" visible="1" x-off="-1" '
         .. 'y-off="-1" x-size="-1" y-size="-1" custom-ui="1"/></UI></Extra>\n</Session>\n')
else
  -- Identifiers far above the session's counter, so nothing Ardour makes later can collide.
  append("(<Sources)/>", ">" .. source(900000001, 0) .. source(900000002, 1) .. "</Sources>")
  append("(<Regions)/>", '><Region name="input" automatic="1" whole-file="1" import="1" external="1" '
         .. 'id="900000003" ' .. region .. "/></Regions>")
  append("(<Playlist [^>]*name=\"" .. playlist:gsub("%p", "%%%0") .. "\"[^>]*)/>",
         '><Region name="input.1" automatic="0" whole-file="0" import="0" external="0" id="900000004" '
         .. region .. "/></Playlist>")
  append("(<Locations)/>", '><Location id="900000005" name="session" start="a0" end="' .. length
         .. '" flags="IsSessionRange" locked="0" timestamp="0" cue="0"/></Locations>')
end

local output = assert(io.open(file, "w"))
output:write(xml)
output:close()
print("session ready")
