-- Builds an Ardour session with one stereo track through Fadecrest whose editor window Ardour opens
-- when it loads the session, as if the user had left it open.
--
-- ardour7-lua ardour_editor_session.lua <session-dir> <session-name> <sample-rate>

local dir, name, rate = arg[1], arg[2], tonumber(arg[3])
assert(dir and name and rate, "usage: session-dir session-name rate")

local session = create_session(dir, name, rate)
assert(session, "cannot create the session")
local tracks = session:new_audio_track(2, 2, nil, 1, "Audio", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true, false)
assert(tracks:size() == 1, "cannot add the track")
local track = tracks:front()

-- The module is only found here if the scanner has already indexed it under $HOME.
local effect = ARDOUR.LuaAPI.new_plugin(session, "Fadecrest", ARDOUR.PluginType.LXVST, "")
assert(not effect:isnil(), "Fadecrest is not among the known plug-ins")
assert(track:add_processor_by_index(effect, 0, nil, true) == 0, "cannot insert Fadecrest")
local window = "P-" .. track:to_stateful():id():to_s() .. "-" .. effect:to_stateful():id():to_s()
assert(session:save_state("", false, false, false, false, false), "cannot save the session")
close_session()

-- Ardour keeps the windows it shows in the session's own UI state; the plug-in's window, with its
-- own editor rather than Ardour's generic one, is opened on load when it is marked visible.
local file = dir .. "/" .. name .. ".ardour"
local input = assert(io.open(file))
local xml = input:read("a")
input:close()
local count
xml, count = xml:gsub("</Session>%s*$", '  <Extra>\n    <UI>\n      <Window name="' .. window
                      .. '" visible="1" x-off="-1" y-off="-1" x-size="-1" y-size="-1" custom-ui="1"/>\n'
                      .. '    </UI>\n  </Extra>\n</Session>\n')
assert(count == 1, "the saved session does not end in </Session>")
local output = assert(io.open(file, "w"))
output:write(xml)
output:close()
print("session ready")
