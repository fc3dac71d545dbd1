"""A Qt 5 drag source: a window at a given place that starts a drag of files or of text when it is
pressed, and exits with the action the target's status answered (0 none, 1 copy, 2 move):
    qt_drag_source.py TITLE X Y files PATH... | text TEXT
"""
import sys

from PyQt5.QtCore import QMimeData, Qt, QUrl
from PyQt5.QtGui import QDrag
from PyQt5.QtWidgets import QApplication, QLabel

title, x, y, kind, items = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5:]


class Source(QLabel):
    def mousePressEvent(self, event):
        data = QMimeData()
        if kind == "files":
            data.setUrls([QUrl.fromLocalFile(path) for path in items])
        else:
            data.setText(" ".join(items))
        drag = QDrag(self)
        drag.setMimeData(data)
        QApplication.exit(int(drag.exec_(Qt.CopyAction | Qt.MoveAction)))


application = QApplication(sys.argv[:1])
source = Source("drag from here")
source.setWindowTitle(title)
source.setGeometry(x, y, 200, 100)
source.show()
sys.exit(application.exec_())
