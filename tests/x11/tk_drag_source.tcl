# A Tk drag source through tkdnd: a window at a given place that starts a drag of files or of text
# when it is pressed, and exits with the action the target's status answered (0 none, 1 copy,
# 2 move), read from tkdnd's own record of the drag: tkdnd 2.6 tells its X11 sources no action.
#   wish tk_drag_source.tcl TITLE X Y files PATH... | text TEXT
package require tkdnd

set items [lassign $argv title x y kind]
wm title . $title
wm geometry . 200x100+$x+$y
pack [label .source -text "drag from here"] -fill both -expand 1

set type [expr {$kind eq "files" ? "DND_Files" : "DND_Text"}]
tkdnd::drag_source register .source $type
bind .source <<DragInitCmd>> {list {copy move} $type [expr {$kind eq "files" ? $items : [join $items " "]}]}
bind .source <<DragEndCmd>> {namespace eval ::tkdnd::xdnd {
  exit [expr {$_dodragdrop_drop_occured && $_dodragdrop_drop_target_accepts_drop ?
              [lsearch {none copy move} $_dodragdrop_drop_target_accepts_action] : 0}]
}}
