"""A Qt 5 drag source: a window at a given place that starts a drag of files or of text when it is
pressed, and exits with the action the drop answered (0 none, 1 copy, 2 move).

    qt_drag_source.py TITLE X Y files PATH... | text TEXT
"""
import sys

from PyQt5.QtCore import QMimeData, Qt, QUrl
from PyQt5.QtGui import QDrag
from PyQt5.QtWidgets import QApplication, QLabel


class Source(QLabel):
    def __init__(self, kind, items):
        super().__init__("drag from here")
        self.kind, self.items = kind, items

    def mousePressEvent(self, event):
        data = QMimeData()
        if self.kind == "files":
            data.setUrls([QUrl.fromLocalFile(path) for path in self.items])
        else:
            data.setText(" ".join(self.items))
        drag = QDrag(self)
        drag.setMimeData(data)
        QApplication.exit(int(drag.exec_(Qt.CopyAction | Qt.MoveAction)))


def main():
    title, x, y, kind = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    application = QApplication(sys.argv[:1])
    source = Source(kind, sys.argv[5:])
    source.setWindowTitle(title)
    source.setGeometry(x, y, 200, 100)
    source.show()
    sys.exit(application.exec_())


main()
