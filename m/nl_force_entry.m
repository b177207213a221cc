function S = nl_force_entry(C, B, force, varargin)
% NL_FORCE_ENTRY  An entry of a model's "NL" list whose force Octave computes.
%
%   S = nl_force_entry(C, B, force) makes the structure of one non-linearity
%   whose force a host function computes.  Put it in the model with
%   nl_list_add.  At every spardyn('residual', r, model, u, v, a, opt, arg),
%   after the matrices, the module
%     1. observes the model: S.vnl = C*v, then S.unl = C*u (plus the
%        references 'vnl0', 'unl0' when given), written into S in place;
%     2. calls force(S, r, model, u, v, a, opt, arg) with S as just observed
%        and the arguments of the call (opt and arg are [] when absent);
%     3. adds B.'*f to r, f being the force the function returned, and
%        copies f into model.FNL when asked ('fnl').
%   C (n_o x N) observes n_o values of the N degrees of freedom; B (m x N)
%   injects the m values of the force.
%
%   force is a function handle returning the force: a plain array of at
%   least m values, or a structure holding it in its field "snl" (or,
%   without "snl", "unl").  A structure with neither field injects nothing;
%   a function that returns no value at all (varargout = {}) injects the
%   entry's own buffer S.snl (zeros unless the function's owner shares it).
%   A function with an output that it leaves unset is an Octave error.
%
%   force may instead be a string, the kind of the element: the module then
%   calls the host function nl_spring(S, r, model, u, v, a, opt, arg) and
%   injects B.'*S.unl (see examples/nl_spring.m).  "rotcenter" (see
%   nl_rotcenter) and "mocirc2" are kinds the module handles itself.
%
%   Options (name/value):
%     'fnl'       1-based position in model.FNL where the m force values are
%                 copied at every evaluation (default 0: no copy)
%     'velocity'  false: no velocity observation S.vnl (default true)
%     'unl0', 'vnl0'  reference values (n_o each) added to the observations
%
%   The function receives the whole entry: add any field it needs (its
%   parameters) to S.
%
%   Example (a cubic spring between DOFs 3 and 7 of a model of 10 DOFs,
%   its force copied into model.FNL(1)):
%     R = sparse(1, [3 7], [1 -1], 1, 10);
%     S = nl_force_entry(R, R, @(S, varargin) S.k * S.unl.^3, 'fnl', 1);
%     S.k = 1e6;
%     model = nl_list_add(model, S, 'cubic spring');
  o = nl_options(struct('fnl', 0, 'velocity', true, 'unl0', [], 'vnl0', []), ...
                 varargin, 'nl_force_entry');
  if columns(C) ~= columns(B) || ~isnumeric(C) || ~isnumeric(B)
    error('VRK:spardyn:Invalid', ['nl_force_entry: C and B must be ' ...
          'matrices with one column per degree of freedom']);
  end
  if ~(isscalar(o.fnl) && o.fnl >= 0 && o.fnl == fix(o.fnl))
    error('VRK:spardyn:Invalid', 'nl_force_entry: ''fnl'' must be a position (0: none)');
  end
  no = rows(C);
  % Compressed rows: the observation reads rows of C, and B then scatters
  % the few force values instead of visiting every column.
  S = struct('c', sparse_description(C, true), 'b', sparse_description(B, true), ...
             'unl', zeros(no, 1), 'snl', zeros(rows(B), 1), ...
             'StoreFNL', double(o.fnl > 0), 'FInd', int32(max(o.fnl - 1, 0)));
  if o.velocity, S.vnl = zeros(no, 1); end
  S = set_reference(S, 'unl0', o.unl0, no);
  S = set_reference(S, 'vnl0', o.vnl0, no);
  if is_function_handle(force)
    S.Fu = force;
  elseif ischar(force) && ~isempty(force)
    S.type = force;
  else
    error('VRK:spardyn:Invalid', ['nl_force_entry: the force must be a ' ...
          'function handle or the name of a kind']);
  end
end

function S = set_reference(S, name, value, no)
  if isempty(value), return; end
  if numel(value) ~= no
    error('VRK:spardyn:Invalid', 'nl_force_entry: ''%s'' needs %d values', name, no);
  end
  S.(name) = double(value(:));
end
