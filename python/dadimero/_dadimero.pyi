"""Background subtraction for RGB-D video (DADI-MERO): type hints of the compiled module."""

import os
from typing import Iterable, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

Bytes = npt.NDArray[np.uint8]
Depth = Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16]]
Integer = Union[int, np.integer]
Real = Union[float, int, np.floating, np.integer]

PathLike = Union[str, "os.PathLike[str]"]

def initial_depth_background(
    depth_frames: Union[Iterable[Depth], Depth], roi: Optional[Bytes] = None
) -> Depth:
    """Per pixel inside roi the largest value of the depth frames (all uint8 or all
    uint16, H x W), 0 outside; an array of the frames' dtype."""

def estimate_background(
    colour_frames: Union[Iterable[Bytes], Bytes],
    depth_frames: Optional[Union[Iterable[Depth], Depth]] = None,
) -> Tuple[Bytes, Optional[Depth]]:
    """The per-pixel median of the colour frames (uint8 H x W x 3 BGR) and the depth
    background of initial_depth_background(depth_frames), or None without depth."""

class Subtractor:
    """Background subtraction frame by frame; help(dadimero.Subtractor) has the details."""

    def __init__(
        self,
        colour_background: Optional[Bytes] = None,
        depth_background: Optional[Depth] = None,
        roi: Optional[Bytes] = None,
        *,
        n: Integer = ...,
        K: Integer = ...,
        e1: Real = ...,
        e2: Real = ...,
        e1D: Real = ...,
        e2D: Real = ...,
        c1: Real = ...,
        c2: Real = ...,
        Cw: Integer = ...,
        shadowRemoval: Union[bool, np.bool_] = ...,
        gamma: Real = ...,
        beta: Real = ...,
        tauS: Real = ...,
        tauH: Real = ...,
        shadowValue: Integer = ...,
        threads: Integer = ...,
    ) -> None:
        """colour_background: None to start from the first frame, else uint8 H x W x 3
        BGR; depth_background: None or uint8/uint16 H x W; roi: None or uint8 H x W,
        nonzero inside. The settings default to the DADI-MERO program's."""
    def apply(
        self, colour: Bytes, depth: Optional[Depth] = None, learning_rate: Real = -1.0
    ) -> Optional[Bytes]:
        """The final mask (uint8 H x W: 255 foreground, 0 background, shadowValue for a
        shadow) of this frame, or None while starting or calibrating."""
    @property
    def calibrating(self) -> bool:
        """True while the next apply() returns None."""
    @property
    def uses_depth(self) -> bool:
        """True for a subtractor that uses depth."""
    def background_image(self) -> Optional[Bytes]:
        """The colour model's centre weights: uint8 H x W x 3 BGR; None before the first frame."""
    def colour_mask(self, label_codes: bool = False) -> Optional[Bytes]:
        """The last online frame's colour mask (uint8 H x W; 0/255 or 0/85/255), or None."""
    def depth_mask(self, label_codes: bool = False) -> Optional[Bytes]:
        """The last online frame's depth mask (uint8 H x W; 0/255 or 0/127/255), or None."""
    def colour_model_image(self) -> Optional[Bytes]:
        """The colour model, one pixel per weight: uint8 (H*n) x (W*n) x 3 BGR."""
    def depth_model_image(self) -> Optional[Depth]:
        """The depth model, one pixel per weight, of the depth background's dtype, or None."""
    def set_depth_background(self, depth_background: Depth) -> None:
        """Starts the depth model afresh from a new depth background."""
    def clear(self) -> None:
        """Returns the subtractor to its start; the settings stay."""
    def save_settings(self, path: PathLike) -> None:
        """Writes the settings to a cv2.FileStorage file (.yml, .xml, .json)."""
    def load_settings(self, path: PathLike) -> None:
        """Takes the settings of a save_settings() file."""
    def save_state(self, path: PathLike) -> None:
        """Saves the whole subtractor to a cv2.FileStorage file (.yml, .xml, .json, .gz)."""
    def load_state(self, path: PathLike) -> None:
        """Replaces the whole subtractor but its thread count by a save_state() file."""
    @property
    def n(self) -> int:
        """Block side; read-only."""
    @property
    def threads(self) -> int:
        """Worker threads, 0 for one per core; read-only."""
    K: int
    e1: float
    e2: float
    e1D: float
    e2D: float
    c1: float
    c2: float
    Cw: int
    shadowRemoval: bool
    gamma: float
    beta: float
    tauS: float
    tauH: float
    shadowValue: int
